// Device > Live Text: the window runs the now-playing bridge on its own
// connection, behind its own scripts, and shows what it put on air.
#ifndef KVXSIM_PATH
#error "KVXSIM_PATH must name the simulated encoder the tests run"
#endif

#include "main_form_fixture.h"

#include "app/live_text_form.h"
#include "support/kvxsim_process.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

// A command's exit code and what it printed.
std::pair<int, std::string> RunCommand(const std::string& Command)
{
    std::string Out;
    FILE* P = ::popen((Command + " 2>/dev/null").c_str(), "r");
    if (!P)
        return {-1, Out};
    char Buf[512];
    std::size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, P)) > 0)
        Out.append(Buf, N);
    const int St = ::pclose(P);
    return {WIFEXITED(St) ? WEXITSTATUS(St) : -1, Out};
}

struct TLiveWindow : TWindow {
    TKvxsim Sim;

    bool Connect()
    {
        if (!Sim.Start({}))
            return false;
        TStartupOptions O;
        O.Port = Sim.Path();
        Start(O);
        F->_ac_DeviceConnect->trigger();
        return Until([&] { return F->Dialogue->LastScriptEnded() == scRead; });
    }
    TLiveTextForm& Page()
    {
        F->_ac_DeviceLiveText->trigger();
        return *F->LiveTextForm();
    }
    std::string Curl(const std::string& Query) const
    {
        return RunCommand(
            "curl -s -G " + Query + " http://127.0.0.1:" + std::to_string(F->LiveTextForm()->Inputs().HttpPort()) + "/")
            .second;
    }
    std::vector<std::string> LogFrom(std::size_t N) const
    {
        const auto L = Sim.Log();
        return N < L.size() ? std::vector<std::string>(L.begin() + static_cast<long>(N), L.end())
                            : std::vector<std::string> {};
    }
    bool Logged(const std::string& Line, int Seconds = 10)
    {
        return Until(
            [&] {
                const auto L = Sim.Log();
                return std::find(L.begin(), L.end(), Line) != L.end();
            },
            Seconds);
    }
};

} // namespace

TEST(LiveText, ThePageOnPutsTheTextOnAirBehindTheWindowsOwnScripts)
{
    TLiveWindow W;
    ASSERT_TRUE(W.Connect());
    TTestForm& F = *W.F;
    TLiveTextForm& P = W.Page();
    EXPECT_TRUE(P.isVisible());
    P.edHttp->setText(QStringLiteral("0"));
    P.ednxMinInterval->setValue(0.3);
    P.cbOn->click();
    ASSERT_TRUE(P.On()) << P.lbError->text().toStdString();
    EXPECT_TRUE(P.lbListening->text().startsWith(QStringLiteral("Listening: http 127.0.0.1:")));
    EXPECT_FALSE(P.edHttp->isEnabled());

    EXPECT_EQ(W.Curl("--data-urlencode 'artist=Łukasz' --data-urlencode 'title=Song'"), "Lukasz - Song\n");
    ASSERT_TRUE(W.Logged("TEXT=Lukasz - Song"));
    ASSERT_TRUE(Until([&] { return F.StatusBar1->Info().Text.contains(QStringLiteral("live: Lukasz - Song")); }));
    // The editor shows what the encoder now holds: no edit to save or ask about.
    EXPECT_EQ(F.edRT_B->text(), QStringLiteral("Lukasz - Song"));
    F.UpdateActions();
    EXPECT_FALSE(F._ac_DeviceSave->isEnabled());
    EXPECT_TRUE(P.lbLastSent->text().endsWith(QStringLiteral(": Lukasz - Song")));

    // The user's write runs first; the live text waits for it to end and is
    // not sent in between its commands.
    const std::size_t Before = W.Sim.Log().size();
    F.edPI_B->setText(QStringLiteral("C201"));
    F.edPS_B->setText(QStringLiteral("NEW PS"));
    F.cbTA_B->setCurrentIndex(1);
    F.UpdateActions();
    ASSERT_TRUE(F._ac_DeviceSave->isEnabled());
    F.btnSave->click();
    EXPECT_EQ(W.Curl("--data-urlencode 'text=During the save'"), "During the save\n");
    ASSERT_TRUE(W.Logged("TEXT=During the save"));
    EXPECT_EQ(W.LogFrom(Before), (std::vector<std::string> {"PI=C201", "PS=NEW PS", "TA=1", "TEXT=During the save"}));
    EXPECT_TRUE(Until([&] { return F.edRT_B->text() == QStringLiteral("During the save"); }));
    EXPECT_EQ(F.edPS_B->text(), QStringLiteral("NEW PS"));

    // An edit of the user's is not overwritten by the live text.
    F.edRT_B->setText(QStringLiteral("MY OWN TEXT"));
    W.Curl("--data-urlencode 'text=Third'");
    ASSERT_TRUE(W.Logged("TEXT=Third"));
    ASSERT_TRUE(Until([&] { return P.lbLastSent->text().endsWith(QStringLiteral(": Third")); }));
    EXPECT_EQ(F.edRT_B->text(), QStringLiteral("MY OWN TEXT"));

    // Off: the inputs close.
    const std::uint16_t Port = P.Inputs().HttpPort();
    P.cbOn->click();
    EXPECT_FALSE(P.On());
    EXPECT_EQ(RunCommand("curl -s http://127.0.0.1:" + std::to_string(Port) + "/?text=x").first, 7); // cannot connect
    EXPECT_TRUE(P.edHttp->isEnabled());
    EXPECT_TRUE(F.Messages.empty());
}

TEST(LiveText, UnusableFieldsAreNamedAndThePageStaysOff)
{
    TLiveWindow W;
    W.Start();
    TLiveTextForm& P = W.Page();
    P.edHttp->setText(QStringLiteral("0"));
    P.edTemplate->setText(QStringLiteral("{album}"));
    P.cbOn->click();
    EXPECT_FALSE(P.On());
    EXPECT_FALSE(P.cbOn->isChecked());
    EXPECT_TRUE(P.lbError->text().startsWith(QStringLiteral("--template: unknown field {album}")))
        << P.lbError->text().toStdString();
    P.edTemplate->setText(QStringLiteral("{title}"));
    P.edHttp->clear();
    P.cbOn->click();
    EXPECT_EQ(P.lbError->text(), QStringLiteral("no input: give at least one of --http, --tcp, --udp, --file"));
    EXPECT_FALSE(P.On());
}

TEST(LiveText, TheFieldsThatSwitchedItOnAreKeptButTheToken)
{
    std::string Ini;
    {
        TLiveWindow W;
        W.Start();
        TLiveTextForm& P = W.Page();
        P.edHttp->setText(QStringLiteral("0"));
        P.edSkipIf->setPlainText(QStringLiteral("title~^ADV\nartist~^Station"));
        P.cbTarget->setCurrentIndex(2);
        P.edToken->setText(QStringLiteral("s3cret"));
        P.cbOn->click();
        ASSERT_TRUE(P.On());
        QFile File(QString::fromStdString(TDMI().FileName()));
        ASSERT_TRUE(File.open(QIODevice::ReadOnly));
        Ini = File.readAll().toStdString();
        W.Close();
        // The next window reads them back.
        W.Start();
        TLiveTextForm& Q = W.Page();
        EXPECT_EQ(Q.edHttp->text(), QStringLiteral("0"));
        EXPECT_EQ(Q.edSkipIf->toPlainText(), QStringLiteral("title~^ADV\nartist~^Station"));
        EXPECT_EQ(Q.cbTarget->currentIndex(), 2);
        EXPECT_TRUE(Q.edToken->text().isEmpty());
        EXPECT_FALSE(Q.On());
    }
    EXPECT_NE(Ini.find("[LiveText]"), std::string::npos) << Ini;
    EXPECT_EQ(Ini.find("s3cret"), std::string::npos) << Ini;
}
