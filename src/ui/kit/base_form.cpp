#include "ui/kit/base_form.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>

#include "ui/kit/fonts.h"

TBaseForm::TBaseForm(QWidget* AOwner) : QWidget(AOwner, Qt::Window)
{
    setFont(WindowFont());
}

TBaseForm::~TBaseForm()
{
    // Descendants' parts are gone by now: only the base hook can run here.
    if (!FCleanedUp) {
        FCleanedUp = true;
        TBaseForm::CleanUp();
    }
    if (FModalLoop)
        FModalLoop->quit();
}

void TBaseForm::MakeIndependent(QWidget* AOwner)
{
    FIndependent = true;
    if (AOwner)
        connect(AOwner, &QObject::destroyed, this, &TBaseForm::Free);
}

void TBaseForm::RunCleanUp()
{
    if (FCleanedUp)
        return;
    FCleanedUp = true;
    CleanUp();
}

void TBaseForm::Free()
{
    RunCleanUp();
    delete this;
}

bool TBaseForm::event(QEvent* e)
{
    // deleteLater (and close with WA_DeleteOnClose) arrive here while the
    // whole object still exists, so the descendant's CleanUp can run.
    if (e->type() == QEvent::DeferredDelete)
        RunCleanUp();
    return QWidget::event(e);
}

void TBaseForm::SetModalResult(int Value)
{
    FModalResult = Value;
    if (Value != mrNone && FModalLoop)
        FModalLoop->quit();
}

int TBaseForm::ShowModal()
{
    if (FModalLoop)
        return mrNone; // already modal
    FModalResult = mrNone;
    const Qt::WindowModality oldModality = windowModality();
    const bool wasVisible = isVisible();
    if (wasVisible)
        hide(); // modality takes effect on show
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
    QEventLoop loop;
    FModalLoop = &loop;
    QPointer<TBaseForm> self(this);
    if (FModalResult == mrNone)
        loop.exec(QEventLoop::DialogExec);
    if (!self)
        return mrCancel;
    FModalLoop = nullptr;
    hide();
    setWindowModality(oldModality);
    return FModalResult;
}

void TBaseForm::SetButtonModalResult(QAbstractButton* Button, int Result)
{
    connect(Button, &QAbstractButton::clicked, this, [this, Result] { SetModalResult(Result); });
}

void TBaseForm::closeEvent(QCloseEvent* e)
{
    if (FModalLoop && FModalResult == mrNone)
        SetModalResult(mrCancel);
    QWidget::closeEvent(e);
}

void TBaseForm::keyPressEvent(QKeyEvent* e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && FDefaultButton && FDefaultButton->isEnabled()
        && FDefaultButton->isVisible()) {
        FDefaultButton->click();
        return;
    }
    if (e->key() == Qt::Key_Escape && FCancelButton && FCancelButton->isEnabled() && FCancelButton->isVisible()) {
        FCancelButton->click();
        return;
    }
    QWidget::keyPressEvent(e);
}

void TBaseForm::ShowUp()
{
    if (QApplication::activeModalWidget())
        return;
    show();
    raise();
    activateWindow();
}

QString TBaseForm::TypeChange(const QString& Filter, int FilterIndex, const QString& FileName)
{
    const QStringList parts = Filter.split(QLatin1Char('|'));
    const int idx = 2 * FilterIndex - 1;
    if (idx < 0 || idx >= parts.size())
        return FileName;
    QString ext = parts[idx].section(QLatin1Char(';'), 0, 0);
    ext.remove(QLatin1Char('*'));
    // Replace the typed name's extension (the part after its last dot, when
    // that dot lies in the file name and not in a folder name).
    const int slash = std::max(FileName.lastIndexOf(QLatin1Char('/')), FileName.lastIndexOf(QLatin1Char('\\')));
    const int dot = FileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > slash ? FileName.left(dot) : FileName;
    return base + ext;
}

void TBaseForm::TypeChange(QFileDialog* Dialog)
{
    if (!Dialog)
        return;
    const QStringList filters = Dialog->nameFilters();
    const int index = filters.indexOf(Dialog->selectedNameFilter());
    if (index < 0)
        return;
    // Build the "name|patterns|..." form from Qt's "Name (patterns)" filters.
    QStringList flat;
    for (const QString& f : filters) {
        const int open = f.lastIndexOf(QLatin1Char('('));
        const int close = f.lastIndexOf(QLatin1Char(')'));
        QString pattern = open >= 0 && close > open ? f.mid(open + 1, close - open - 1) : f;
        pattern.replace(QLatin1Char(' '), QLatin1Char(';'));
        flat << f << pattern;
    }
    const QStringList typed = Dialog->selectedFiles();
    const QString name = typed.isEmpty() ? QString() : QFileInfo(typed.first()).fileName();
    if (name.isEmpty())
        return;
    Dialog->selectFile(TypeChange(flat.join(QLatin1Char('|')), index + 1, name));
}

int TBaseForm::ShowMessage(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx)
{
    return ShowMessage(Msg, DlgType, Buttons, HelpCtx, TMsgDlgBtn(0));
}

int TBaseForm::ShowMessage(
    const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton)
{
    (void)HelpCtx; // message boxes have no help file behind them
    return ShowMessageBox(Msg, DlgType, Buttons, DefaultButton);
}
