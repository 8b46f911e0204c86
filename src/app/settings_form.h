#pragma once
// The settings dialog: the serial port of the encoder, picked from the ports
// present ("N/A" for none), and how long a command waits for the encoder's
// reply (0: without end).
//
// The main window fills it with PopulateSettings(&Config), shows the page of
// tag 0 with SetPage(0), runs it with ShowModal and on mrOk takes the result
// back with CollectSettings(&Config).
//
// Each port in the list carries what the system knows of it as its tool tip. A
// configured port that is not among the ports present (typed by hand, such as
// a /dev/serial/by-id path, or an adapter now unplugged) is listed after them
// as it was typed, so that OK keeps it.

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QPixmap>
#include <QSpinBox>
#include <string>

#include "app/config.h"
#include "ui/kit/custom_settings_form.h"

// A button drawn as one of four pictures side by side in one strip: normal,
// disabled, pressed and hot. Without a strip it is a plain button face.
class TPictureButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit TPictureButton(QWidget* Parent = nullptr);
    // Loads the strip; a missing picture leaves the button without one.
    void LoadPictures(const QString& Resource);
    const QPixmap& Pictures() const { return FPictures; }
    // 0 normal, 1 disabled, 2 pressed, 3 hot: the picture drawn now.
    int PictureIndex() const;
    QSize sizeHint() const override { return QSize(23, 22); }

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    QPixmap FPictures;
    bool FHot = false;
};

class TSettingsForm : public TCustomSettingsForm {
    Q_OBJECT
public:
    // SysRoot and DevRoot are the trees the ports are enumerated from.
    explicit TSettingsForm(
        QWidget* AOwner = nullptr, std::string SysRoot = "/sys/class/tty", std::string DevRoot = "/dev");

    void PopulateSettings(void* AConfig) override;
    void CollectSettings(void* AConfig) override;
    void DefaultSettings(int APageTag) override;

    void FillPorts();
    void btnRefreshCOMClick();

    TTreeView* tvMain;
    TPageControl* pcSettings;
    TTabSheet* TabSheet1;
    QLabel* Label1;
    QComboBox* cbCOMS;
    TPictureButton* btnRefreshCOM;
    QLabel* Label2;
    QSpinBox* edReplyTimeout; // seconds; 0 shows "wait without end"
    QLabel* Label3;

    TConfigData tmpCFG;

private:
    // Adds Port to cbCOMS with its facts as the item's tool tip.
    void AddPort(const QString& Port);
    void cbCOMSIndexChanged(int Index);

    std::string FSysRoot;
    std::string FDevRoot;
    // A configured port that is not among the ports present, kept as typed.
    QString FKeptPort;
};

// The program icon in every size compiled in (empty when there is none).
QIcon ProgramIcon();
