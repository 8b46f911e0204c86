// The program's entry: the single-instance guard, the splash, the main window
// built in its fixed order, the message loop and the orderly end.
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include <cstdio>
#include <memory>

#include "app/command_line.h"
#include "app/main_form.h"
#include "app/signal_closer.h"
#include "app/single_instance.h"
#include "platform/log.h"
#include "platform/version.h"
#include "ui/kit/base_form.h"
#include "ui/kit/splash.h"

namespace {

// Logs "first paint" (at debug level) when the watched window is first
// painted, so that start-up can be timed from outside.
class TFirstPaintMarker : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* Watched, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) {
            kvx::log::Debug("first paint");
            Watched->removeEventFilter(this);
        }
        return false;
    }
};

int Report(std::FILE* To, const QString& Text, int Code)
{
    std::fprintf(To, "%s\n", Text.toLocal8Bit().constData());
    return Code;
}

// The version label near the splash's bottom edge.
void AddVersionLabel(TSplash& Splash)
{
    auto* label = new QLabel(QStringLiteral("Software Version") + QStringLiteral(": ")
            + QString::fromStdString(GetVersionString("%d.%d.%d.%d")),
        &Splash);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    // Bottom-aligned across the whole width, 10 pixels above the edge.
    auto* layout = new QVBoxLayout(&Splash);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->addStretch();
    layout->addWidget(label);
}

// What a second copy says before it ends.
QString SecondCopyText()
{
    const qint64 pid = RunningCopyPid();
    QString text = QStringLiteral("kvxc: a copy of the program already runs in this session");
    if (pid > 0)
        text += QStringLiteral(" (process %1)").arg(pid);
    if (RestoreRequestSent())
        return text + QStringLiteral("; it was asked to come to the front.");
    return text + QStringLiteral(", but it did not take the request to come to the front; nothing else was done.");
}

// Answers the command line's help or version, or its error, with the exit
// code; -1 when the program is to run.
int Answer(const TCommandLine& command)
{
    switch (command.Action) {
    case TCommandLine::caHelp:
    case TCommandLine::caVersion:
        return Report(stdout, command.Text, 0);
    case TCommandLine::caError:
        return Report(stderr, QStringLiteral("kvxc: ") + command.Text + QStringLiteral("\nTry 'kvxc --help'."), 64);
    case TCommandLine::caRun:
        break;
    }
    return -1;
}

// Whether the command line asks only for the help or the version, which must
// work without a display (a QApplication cannot start without one).
bool AsksHelpOrVersion(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "-h" || a == "-?" || a == "--help" || a == "--help-all" || a == "-v" || a == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (AsksHelpOrVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        const int code = Answer(ParseCommandLine(QCoreApplication::arguments()));
        return code < 0 ? 64 : code;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvxc"));
    QApplication::setApplicationVersion(QString::fromStdString(GetVersionString("%d.%d.%d.%d")));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kvxc.kvxc"));
    QApplication::setStyle(QStringLiteral("Fusion"));

    const TCommandLine command = ParseCommandLine(QCoreApplication::arguments());
    if (const int code = Answer(command); code >= 0)
        return code;

    // A second copy has asked the first one to come forward and ends here;
    // a settings file it was given is not handed over, and the user is told.
    if (!IsFirstInstance()) {
        if (SingleInstanceFailures() == 0) {
            Report(stderr, SecondCopyText(), 0);
            if (command.Options.File.empty())
                return RestoreRequestSent() ? 0 : 1;
            const QString text = QStringLiteral("Korvane Ardent RDS/RBDS Encoders Manager is already running and was "
                                                "brought to the front.\nThe settings file %1 was not opened: open it "
                                                "there with File > Open.")
                                     .arg(QFile::decodeName(QByteArray::fromStdString(command.Options.File)));
            Report(stderr, QStringLiteral("kvxc: ") + text, 1);
            std::fflush(stderr);
            TBaseForm::ShowMessage(text, mtWarning, mbOK, 0);
            return 1;
        }
        FinalizeSingleInstance();
        return Report(stderr, QStringLiteral("kvxc: cannot set up the single-instance guard"), 1);
    }

    int result = 0;
    {
        auto splashOwner = std::make_unique<TSplash>();
        TSplash& splash = *splashOwner;
        // The splash never keeps the program running once the main window has closed.
        splash.setAttribute(Qt::WA_QuitOnClose, false);
        const QImage picture(QStringLiteral(":/PNG_ABOUT")); // a missing picture leaves the splash without one
        if (!picture.isNull())
            splash.CreateSplash(picture);
        splash.SetText(QStringLiteral("Starting..."));
        splash.SetY(240);
        AddVersionLabel(splash);
        splash.ShowSplash();

        QPointer<TMainForm> mainForm = new TMainForm(command.Options);
        // SIGTERM, SIGINT and SIGHUP close the window as Exit would, without
        // questions: the configuration is written, unsaved edits are kept.
        TSignalCloser signalCloser([&mainForm](int) {
            if (mainForm)
                mainForm->CloseWithoutQuestions();
        });
        if (kvx::log::Enabled(kvx::log::Level::Debug))
            mainForm->installEventFilter(new TFirstPaintMarker(mainForm));
        mainForm->Init();
        mainForm->show();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        mainForm->PostInit();
        splash.HideSplash(2000);

        result = QApplication::exec();
        // Unsaved edits that could not be kept: said on stderr, and not a success.
        if (mainForm && !mainForm->RecoveryError().empty())
            result = 1;

        // The splash goes first, then the main window with its CleanUp (which
        // writes the configuration and stops the loader and the device).
        splashOwner.reset();
        if (mainForm)
            mainForm->Free();
    }
    FinalizeSingleInstance();
    return result;
}
