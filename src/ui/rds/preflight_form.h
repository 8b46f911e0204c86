#pragma once
// The pre-flight window: lists the findings of a settings validation, shows
// the description of the selected one and lets the user go on ("Save") or
// stop ("Cancel").

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <array>
#include <functional>

#include "rds/alerts.h"

class TPreflightForm : public QDialog {
    Q_OBJECT
public:
    explicit TPreflightForm(QWidget* Parent = nullptr);

    void Load(const TAlertArray& Alerts);
    // Runs the window modally; true only when it was closed through "Save".
    bool Execute(const TAlertArray& Alerts);

    // Asks a Yes/No question; true for Yes. The program's message box unless
    // replaced.
    std::function<bool(const QString& Question)> OnConfirm;

    QTreeWidget* lvAlerts;
    QPlainTextEdit* memDescr;
    QPushButton* btnSave;
    QPushButton* Button2;
    std::array<QIcon, 3> imgAlerts;

    const TAlertArray& Alerts() const { return FAlerts; }
    void btnSaveClick();

private:
    void ShowSelected();

    TAlertArray FAlerts;
};

// Makes every settings validation show its findings in the pre-flight window.
void InstallPreflightPresenter();
