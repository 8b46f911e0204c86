// The main window's settings file commands: Open, Save and Save As.
#include "app/main_form.h"

#include "rds/settings_file.h"

#include <QFileDialog>
#include <QFileInfo>

#include <memory>

namespace {

const char* const FileFilter = "RDS settings (*.kvx);;All files (*)";

} // namespace

QString TMainForm::AskOpenFileName()
{
    QFileDialog D(this, QString(), QString(), QString::fromLatin1(FileFilter));
    D.setAcceptMode(QFileDialog::AcceptOpen);
    D.setFileMode(QFileDialog::ExistingFile);
    D.setDefaultSuffix(QStringLiteral("kvx"));
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty())
        return QString();
    return D.selectedFiles().first();
}

QString TMainForm::AskSaveFileName()
{
    QFileDialog D(this, QString(), QString(), QString::fromLatin1(FileFilter));
    D.setAcceptMode(QFileDialog::AcceptSave);
    D.setFileMode(QFileDialog::AnyFile);
    D.setDefaultSuffix(QStringLiteral("kvx"));
    D.setOption(QFileDialog::DontConfirmOverwrite, false);
    connect(&D, &QFileDialog::filterSelected, &D, [&D] { TBaseForm::TypeChange(&D); });
    if (D.exec() != QDialog::Accepted || D.selectedFiles().isEmpty())
        return QString();
    return D.selectedFiles().first();
}

void TMainForm::SetCaptionFileName(const QString& Path)
{
    FileName = Path;
    setWindowTitle(ORGCaption + QStringLiteral(" - [") + QFileInfo(Path).fileName() + QStringLiteral("]"));
}

void TMainForm::_ac_FileOpenExecute()
{
    const QString Path = AskOpenFileName();
    if (Path.isEmpty())
        return;
    OpenFile(Path);
}

void TMainForm::OpenFile(const QString& Path)
{
    const QString Before = FileName;
    const QString BeforeTitle = windowTitle();
    SetCaptionFileName(Path);
    // A file that could not be read is not the window's file: a later Save
    // would overwrite it with settings it never held.
    if (!OpenSettingsFile(Path)) {
        FileName = Before;
        setWindowTitle(BeforeTitle);
    }
}

void TMainForm::_ac_FileSaveExecute()
{
    if (FileName.isEmpty()) {
        _ac_FileSaveAsExecute();
        return;
    }
    SaveSettingsFile(FileName);
}

void TMainForm::_ac_FileSaveAsExecute()
{
    const QString Path = AskSaveFileName();
    if (Path.isEmpty())
        return;
    SetCaptionFileName(Path);
    SaveSettingsFile(Path);
}

bool TMainForm::OpenSettingsFile(const QString& Path)
{
    std::unique_ptr<TBRDSDataValidator> R(NewRecord());
    std::string Error;
    TSettingsFileInfo Info;
    // A FIFO, a device or a folder is refused at once: nothing here waits.
    if (!LoadSettingsFile(Path.toStdString(), *R, Error, Dialogue ? &Dialogue->DeviceCopy() : nullptr, &Info)) {
        Message(QString::fromStdString(Error), mtError, mbOK);
        return false;
    }
    if (!R->SourceFindings.empty()) {
        // Values the file holds that could not be sent: shown in the pre-flight
        // window with their lines, and the editor keeps what it shows.
        TAlertArray Findings = R->SourceFindings;
        for (TAlert& A : Findings)
            A.Description = "Line " + std::to_string(A.Line) + ": " + A.Description;
        if (TAlertPresenter* P = GetAlertPresenter())
            P->PresentAlerts(Findings);
        else
            Message(QStringLiteral("The settings file holds values that cannot be sent."), mtError, mbOK);
        return false;
    }
    R->Populate();
    if (!Info.MissingKeys.empty()) {
        QStringList Keys;
        for (const std::string& K : Info.MissingKeys)
            Keys << QString::fromStdString(K);
        Message(QStringLiteral("The settings file has no line for %1: %2 0.")
                    .arg(Keys.join(QStringLiteral(", ")),
                        Keys.size() == 1 ? QStringLiteral("it takes") : QStringLiteral("they take")),
            mtWarning, mbOK);
    }
    return true;
}

void TMainForm::SaveSettingsFile(const QString& Path)
{
    std::unique_ptr<TBRDSDataValidator> R(NewRecord());
    R->Collect();
    if (!R->isValid(Dialogue ? &Dialogue->DeviceCopy() : nullptr, true, nullptr))
        return;
    std::string Error;
    if (!::SaveSettingsFile(*R, Path.toStdString(), Error))
        Message(QString::fromStdString(Error), mtError, mbOK);
}
