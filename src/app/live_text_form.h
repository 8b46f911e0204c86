#pragma once
// Device > Live Text: the now-playing bridge of kvxctl live, run by the
// window. The page holds the same inputs and options; switched on, it opens
// the inputs and runs the bridge on the window's own encoder dialogue: its
// writes wait behind the window's scripts and never interleave with them,
// and a text goes out only while the window is connected and has read the
// encoder. Switched off (or the window closing) the inputs close.
//
// The fields are checked as the command line's arguments are; an unusable
// field or an input that cannot listen is named on the page and the page
// stays off. The fields but the token are kept in kvxc.ini ([LiveText]).

#include "live/live_bridge.h"
#include "live/live_inbox.h"
#include "live/live_inputs.h"
#include "live/live_options.h"
#include "platform/ini_file.h"
#include "ui/kit/base_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TEncoderDialogue;

class TLiveTextForm : public TBaseForm {
    Q_OBJECT
public:
    TLiveTextForm(TEncoderDialogue& Dialogue, QWidget* AOwner = nullptr);
    ~TLiveTextForm() override;
    void CleanUp() override;

    // Switches the bridge on with the fields (false, and the reason on the
    // page, when they are not usable or an input cannot listen), and off.
    bool SwitchOn();
    void SwitchOff();
    bool On() const { return FBridge != nullptr; }

    // From the window's view of the dialogue, as it happens.
    void ScriptProgress(const TScriptProgress& Progress);
    // The window's connection status changed.
    void StatusChanged();

    // The fields as the arguments of kvxctl live (the port not among them).
    std::vector<std::string> Arguments() const;
    void LoadFields(const TIniFile& Ini);
    void SaveFields(TIniFile& Ini) const;

    // The port the window connects to (for the bridge's status).
    std::string Port;
    // A text went on air.
    std::function<void(const TLiveSent&)> OnSent;
    // The bridge (nullptr while off).
    TLiveBridge* Bridge() const { return FBridge.get(); }
    const TLiveInputs& Inputs() const { return FInputs; }

    QCheckBox* cbOn;
    QLineEdit* edHttp;
    QLineEdit* edTcp;
    QLineEdit* edUdp;
    QLineEdit* edFile;
    QLineEdit* edTemplate;
    QPlainTextEdit* edSkipIf; // one FIELD~REGEX a line
    QComboBox* cbTarget;
    QLineEdit* edIdleText;
    QSpinBox* ednxIdleAfter;
    QDoubleSpinBox* ednxMinInterval;
    QLineEdit* edToken;
    QLineEdit* edAllow; // ADDRESS/PREFIX, separated by blanks or commas
    QDoubleSpinBox* ednxMaxRate;
    QLabel* lbListening;
    QLabel* lbLastSent;
    QLabel* lbError;
    QPushButton* btnClose;

private:
    // The page's three groups: where the updates come from, what is made of
    // them, and what the encoder and the inputs allow.
    void CreateInputsGroup();
    void CreateTextGroup();
    void CreateEncoderGroup();
    void cbOnClick(bool Checked);
    void SetFieldsEnabled(bool Enabled);
    void ShowError(const QString& Text);
    // Runs the bridge soon, from the event loop (never from inside a
    // dialogue callback), and again when it says it is due.
    void ServiceSoon();
    void ServiceTimerTimer();
    void ShowLastSent();

    TEncoderDialogue& FDialogue;
    TLiveOptions FOptions;
    std::shared_ptr<TLiveInbox> FInbox;
    TLiveInputs FInputs;
    std::unique_ptr<TLiveBridge> FBridge;
    QTimer* FServiceTimer;
};
