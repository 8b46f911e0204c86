#include "ui/kit/message_box.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "ui/kit/fonts.h"

int ModalResultOf(TMsgDlgBtn Button)
{
    switch (Button) {
    case mbYes:
        return mrYes;
    case mbNo:
        return mrNo;
    case mbOK:
        return mrOk;
    case mbCancel:
        return mrCancel;
    case mbAbort:
        return mrAbort;
    case mbRetry:
        return mrRetry;
    case mbIgnore:
        return mrIgnore;
    case mbAll:
        return mrAll;
    case mbNoToAll:
        return mrNoToAll;
    case mbYesToAll:
        return mrYesToAll;
    case mbHelp:
        return mrHelp;
    case mbClose:
        return mrClose;
    }
    return mrNone;
}

namespace {

struct ButtonInfo {
    TMsgDlgBtn Btn;
    QMessageBox::StandardButton Std;
};

const ButtonInfo ButtonTable[] = {
    {mbYes, QMessageBox::Yes},
    {mbNo, QMessageBox::No},
    {mbOK, QMessageBox::Ok},
    {mbCancel, QMessageBox::Cancel},
    {mbAbort, QMessageBox::Abort},
    {mbRetry, QMessageBox::Retry},
    {mbIgnore, QMessageBox::Ignore},
    {mbAll, QMessageBox::YesToAll},
    {mbNoToAll, QMessageBox::NoToAll},
    {mbYesToAll, QMessageBox::YesToAll},
    {mbHelp, QMessageBox::Help},
    {mbClose, QMessageBox::Close},
};

QString DialogTitle(TMsgDlgType t)
{
    switch (t) {
    case mtWarning:
        return QStringLiteral("Warning");
    case mtError:
        return QStringLiteral("Error");
    case mtInformation:
        return QStringLiteral("Information");
    case mtConfirmation:
        return QStringLiteral("Confirm");
    case mtCustom:
        break;
    }
    return QCoreApplication::applicationName();
}

} // namespace

int ShowMessageBox(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton)
{
    QMessageBox box;
    box.setFont(WindowFont());
    box.setWindowTitle(DialogTitle(DlgType));
    box.setText(Msg);
    switch (DlgType) {
    case mtWarning:
        box.setIcon(QMessageBox::Warning);
        break;
    case mtError:
        box.setIcon(QMessageBox::Critical);
        break;
    case mtInformation:
        box.setIcon(QMessageBox::Information);
        break;
    case mtConfirmation:
        box.setIcon(QMessageBox::Question);
        break;
    case mtCustom:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    // Buttons are added one by one (not as standard-button flags) so that
    // "All" and "Yes to All" stay two buttons with their own results.
    QList<QPair<QAbstractButton*, int>> results;
    for (const ButtonInfo& b : ButtonTable) {
        if (!(Buttons & b.Btn))
            continue;
        QAbstractButton* btn = nullptr;
        if (b.Btn == mbAll)
            btn = box.addButton(QStringLiteral("&All"), QMessageBox::AcceptRole);
        else
            btn = box.addButton(b.Std);
        results.append({btn, ModalResultOf(b.Btn)});
        if (b.Btn == DefaultButton)
            box.setDefaultButton(qobject_cast<QPushButton*>(btn));
        if (b.Btn == mbCancel || (b.Btn == mbNo && !(Buttons & mbCancel))
            || (b.Btn == mbOK && !(Buttons & (mbCancel | mbNo))))
            box.setEscapeButton(btn);
    }
    if (results.isEmpty())
        results.append({box.addButton(QMessageBox::Ok), mrOk});
    box.adjustSize();
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect g = s->availableGeometry();
        box.move(g.center() - QPoint(box.width() / 2, box.height() / 2));
    }
    box.exec();
    QAbstractButton* pressed = box.clickedButton();
    for (const auto& r : results) {
        if (r.first == pressed)
            return r.second;
    }
    return mrCancel;
}
