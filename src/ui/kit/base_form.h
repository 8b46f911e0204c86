#pragma once
// Base classes of the program's own windows.
//
// TBaseForm: a top-level window with a three-step life cycle around
// construction and destruction (Init after construction, PostInit after the
// window is first shown, CleanUp at the start of destruction; overrides call
// the inherited hook first), a modal result with ShowModal, the program's one
// message box and an operation that brings the window forward.
//
// C++ cannot reach a descendant's CleanUp from the base destructor, so a form
// is destroyed with Free() or deleteLater() (both run CleanUp first); a form
// deleted by its owner runs only the base hook.
#include <QPointer>
#include <QString>
#include <QWidget>
#include <initializer_list>

#include <QAbstractButton>

#include "ui/kit/message_box.h"

class QEventLoop;
class QFileDialog;

class TBaseForm : public QWidget {
    Q_OBJECT
public:
    explicit TBaseForm(QWidget* AOwner = nullptr);
    // A window with its own taskbar entry that is not kept above the main
    // window: it has no parent window, and AOwner (when given) still frees it.
    template <class T = TBaseForm>
    static T* CreateIndependent(QWidget* AOwner = nullptr)
    {
        T* form = new T(nullptr);
        form->MakeIndependent(AOwner);
        return form;
    }
    ~TBaseForm() override;

    // Runs CleanUp (once) and deletes the window.
    void Free();

    virtual void Init() { }
    virtual void PostInit() { }
    virtual void CleanUp() { }

    bool Independent() const { return FIndependent; }

    int ModalResult() const { return FModalResult; }
    // Setting a result other than mrNone ends a running ShowModal.
    void SetModalResult(int Value);
    // Shows the window application-modal and runs a local event loop until a
    // modal result is set or the window is closed (mrCancel); returns it.
    virtual int ShowModal();
    bool InModalLoop() const { return FModalLoop != nullptr; }

    // Enter presses the default button, Esc the cancel button.
    void SetDefaultButton(QAbstractButton* Button) { FDefaultButton = Button; }
    void SetCancelButton(QAbstractButton* Button) { FCancelButton = Button; }
    // Clicking Button sets the window's modal result to Result.
    void SetButtonModalResult(QAbstractButton* Button, int Result);

    // Shows and raises the window unless a modal window is open.
    void ShowUp();

    // The program's message box: type, buttons, help context (unused: there is
    // no help file behind message boxes), centred on the screen; returns the
    // modal result of the button pressed (mrCancel when closed otherwise).
    static int ShowMessage(const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
    static int ShowMessage(
        const QString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, TMsgDlgBtn DefaultButton);

    // File dialog type change: gives the typed file name the extension of the
    // selected filter's first pattern. Filter is "Text|*.a;*.b|Other|*.c",
    // FilterIndex counts from 1. Returns the new file name.
    static QString TypeChange(const QString& Filter, int FilterIndex, const QString& FileName);
    // The same applied to a live QFileDialog (bind to filterSelected).
    static void TypeChange(QFileDialog* Dialog);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    // Runs CleanUp unless it already ran. From a destructor it reaches the
    // hooks of that class and its bases.
    void RunCleanUp();

private:
    void MakeIndependent(QWidget* AOwner);

    bool FIndependent = false;
    bool FCleanedUp = false;
    int FModalResult = mrNone;
    QEventLoop* FModalLoop = nullptr;
    QPointer<QAbstractButton> FDefaultButton;
    QPointer<QAbstractButton> FCancelButton;
};
