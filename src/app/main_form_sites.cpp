// The main window's File > Sites: the port of a site of a site list (the
// fleet's INI file) put in the port box.
#include "app/main_form.h"

#include "fleet/site_list.h"

#include <QFileDialog>
#include <QInputDialog>

namespace {

// Findings named in the message at most; the rest are counted.
constexpr std::size_t ShownFindings = 12;

} // namespace

QString TMainForm::AskSiteListName()
{
    QFileDialog D(this, QStringLiteral("Site List"), QString(), QStringLiteral("Site lists (*.ini);;All files (*)"));
    D.setAcceptMode(QFileDialog::AcceptOpen);
    D.setFileMode(QFileDialog::ExistingFile);
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty())
        return QString();
    return D.selectedFiles().first();
}

int TMainForm::AskSite(const QStringList& Sites)
{
    bool Ok = false;
    const QString Item = QInputDialog::getItem(
        this, QStringLiteral("Sites"), QStringLiteral("Site to connect to:"), Sites, 0, false, &Ok);
    return Ok ? static_cast<int>(Sites.indexOf(Item)) : -1;
}

void TMainForm::_ac_FileSitesExecute()
{
    const QString Path = AskSiteListName();
    if (Path.isEmpty())
        return;
    const TSiteList List = LoadSiteList(QFile::encodeName(Path).toStdString());
    if (!List.Valid()) {
        // A list the fleet would refuse is not half used here either.
        QString Text = QStringLiteral("The site list cannot be used:");
        std::size_t Shown = 0, Faults = 0;
        for (const TSiteListFinding& F : List.Findings) {
            if (F.Note)
                continue;
            if (++Faults <= ShownFindings)
                Text += QStringLiteral("\n") + QString::fromStdString(FindingText(F));
        }
        Shown = std::min(Faults, ShownFindings);
        if (Faults > Shown)
            Text += QStringLiteral("\n... and %1 more").arg(Faults - Shown);
        Message(Text, mtError, mbOK);
        return;
    }
    QStringList Items;
    for (const TSite& S : List.Sites)
        Items << QString::fromStdString(S.Name) + QStringLiteral("  (") + QString::fromLatin1(S.Port.c_str())
                + QStringLiteral(")");
    const int Picked = AskSite(Items);
    if (Picked < 0 || Picked >= static_cast<int>(List.Sites.size()))
        return;
    cbCOMS->setEditText(QString::fromLatin1(List.Sites[static_cast<std::size_t>(Picked)].Port.c_str()));
    cbCOMSChange();
}
