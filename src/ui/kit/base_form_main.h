#pragma once
// TBaseFormMain: the base of the main window, with the application-wide hooks,
// the restore action of the single-instance guard, the shared progress window,
// the help command and the about box.
#include "ui/kit/about_box.h"
#include "ui/kit/base_form.h"

#include <QList>
#include <QMetaObject>
#include <QString>

class QHelpEvent;
class THelpWindow;
class TProgressFormEx;
class TSplash;

// The shared progress window while a TBaseFormMain exists (nullptr otherwise).
TProgressFormEx* ProgressForm();

// Wraps the application's style so that tool tips show after
// TBaseFormMain::HintPause; the main window calls it, and so may the start-up
// once it has chosen the style. Calling it again changes nothing.
void InstallHintPause();

class TBaseFormMain : public TBaseForm {
    Q_OBJECT
public:
    explicit TBaseFormMain(QWidget* AOwner = nullptr);
    ~TBaseFormMain() override;

    void PostInit() override;
    void CleanUp() override;

    virtual void AppMinimize() { }
    virtual void AppDeactivate() { }
    // Called before a tool tip shows; may change the text or clear CanShow.
    virtual void AppShowHint(QString& HintStr, bool& CanShow, QHelpEvent* HintInfo)
    {
        (void)HintStr;
        (void)CanShow;
        (void)HintInfo;
    }
    virtual void CreateAbout();
    virtual void BuildAbout();
    virtual void _ac_AboutExecute(QObject* Sender);
    // Help: the help page in the program's own help window, on the section of
    // Sender's help context (of Sender or its nearest container) when it has
    // one, else from the top. F1 asks it for the control that has the focus.
    virtual void _ac_HelpExecute(QObject* Sender);

    void LabelWebClick(QObject* Sender);
    void LabelMouseEnter(QObject* Sender);
    void LabelMouseLeave(QObject* Sender);

    TSplash* About() const { return FAbout; }
    // Raises the window when a restore request is waiting for it and no modal
    // window is open; otherwise nothing.
    void RaiseWhenNoModal();
    bool RaisePending() const { return FRaisePending; }
    // The help file found beside the program or in its installed documentation
    // (ui/kit/help_file.h); empty when there is none.
    virtual QString HelpFileName() const;
    // Shows the help page on the section of HelpContext (from the top for 0);
    // a missing or unreadable page is reported. Answers whether it shows.
    bool ShowHelp(int HelpContext);
    // The help window, nullptr until help is first shown.
    THelpWindow* HelpWindow() const { return FHelpWindow; }

    // Milliseconds the mouse rests on a control before its tool tip shows.
    static constexpr int HintPause = 250;

    static const QString MakerEmail;
    static const QString MakerWeb;
    static const QString MakerPhone;
    static const QString MakerAddress;

protected:
    void ArrangeAbout(const QList<TAboutItem>& Items);
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* Watched, QEvent* e) override;

private:
    TSplash* FAbout = nullptr;
    THelpWindow* FHelpWindow = nullptr; // a child of this window, freed with it
    bool FHandCursor = false;
    bool FRaisePending = false;
    QMetaObject::Connection FDeactivateLink;
};
