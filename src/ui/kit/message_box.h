#pragma once
// The program's message box (TBaseForm::ShowMessage): its types, buttons and
// the modal results the buttons return.

#include <QString>

// Modal results (the values of the buttons that close a modal window).
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrClose = 8,
    mrHelp = 9,
    mrAll = 12,
    mrNoToAll = 13,
    mrYesToAll = 14
};

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn {
    mbYes = 0x001,
    mbNo = 0x002,
    mbOK = 0x004,
    mbCancel = 0x008,
    mbAbort = 0x010,
    mbRetry = 0x020,
    mbIgnore = 0x040,
    mbAll = 0x080,
    mbNoToAll = 0x100,
    mbYesToAll = 0x200,
    mbHelp = 0x400,
    mbClose = 0x800
};
using TMsgDlgButtons = unsigned; // an or-ed set of TMsgDlgBtn

// The modal result a message-box button returns.
int ModalResultOf(TMsgDlgBtn Button);

// Shows the message box: its title and icon from the type, the buttons of the
// set in a fixed order (DefaultButton, when one of them, is the default; Cancel,
// else No, else OK answers Esc), centred on the screen. Returns the modal result
// of the button pressed (mrCancel when closed otherwise).
int ShowMessageBox(
    const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, TMsgDlgBtn DefaultButton = TMsgDlgBtn(0));
