#pragma once
// Marker pictures laid over the top-right corner of ordinary controls. Each
// covered control gets a see-through panel as a sibling above it; the panel
// holds the markers and lets every mouse action outside them fall through to
// the control underneath.

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// Handler of a click or of the mouse entering or leaving; Sender is the
// control that had it.
using TNotifyEvent = std::function<void(QObject* Sender)>;

// The help-context number of a control (0 = none), kept as a widget property.
inline constexpr char kHelpContextProperty[] = "HelpContext";
int GetHelpContext(const QObject* Control);
void SetHelpContext(QObject* Control, int Value);

// A group box that paints its own frame reports the y of its top frame line
// in this property; markers on it are centred on that line.
inline constexpr char kFrameLineProperty[] = "FrameLine";

// A picture control with click, mouse-enter and mouse-leave events.
class TClickImage : public QLabel {
    Q_OBJECT
public:
    explicit TClickImage(QWidget* Parent = nullptr);
    void SetPicture(const QImage& Image);
    const QImage& Picture() const { return FPicture; }

    TNotifyEvent OnClick;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;

private:
    QImage FPicture;
    bool FPressed = false;
};

// A horizontal sheet of square pictures of one size, as an image list.
struct TImageList {
    QImage Sheet;
    int Width = 0;
    int Height = 0;
    int Count() const { return Width > 0 ? Sheet.width() / Width : 0; }
    QImage Picture(int Index) const;
};

struct TOverlayImageInfo {
    int ID = 0; // 1: the panel catches every mouse action for this image
    const TImageList* Src = nullptr;
    int SrcIdx = 0;
    TClickImage* Img = nullptr; // owned and parented by the panel
};
using POverlayImageInfo = TOverlayImageInfo*;

class TOverlayPanel : public QWidget {
    Q_OBJECT
public:
    explicit TOverlayPanel(QWidget* Parent, QWidget* RefControl);
    ~TOverlayPanel() override;

    POverlayImageInfo AddImage(
        int ID, const TImageList& Src, int SrcIdx, TNotifyEvent OnClick, TNotifyEvent OnME, TNotifyEvent OnML);
    POverlayImageInfo FindImageByID(int ID) const;
    POverlayImageInfo FindHitImage() const;
    void ArrangeImages();
    // Enables or disables the panel and every image.
    void SetEnabled(bool Value);

    QWidget* RefControl() const { return FRefControl; }
    int ImageCount() const { return static_cast<int>(Imgs.size()); }
    POverlayImageInfo Image(int Index) const;

    // Limits the panel's mouse area to its visible, enabled images (or the
    // whole panel while it holds a hit image).
    void UpdateHitArea();
    // The panel or one of its images was disabled (by a call, not through a
    // parent); or all of them are enabled again.
    bool AnyDisabled() const;
    std::function<void()> OnDisabled;

protected:
    void changeEvent(QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    std::vector<std::unique_ptr<TOverlayImageInfo>> Imgs;
    QWidget* FRefControl;
    bool FPressed = false;
};

class TOverlayManager {
public:
    TOverlayManager();
    ~TOverlayManager();
    TOverlayManager(const TOverlayManager&) = delete;
    TOverlayManager& operator=(const TOverlayManager&) = delete;

    TOverlayPanel* AddPanel(QWidget* AControl);
    TOverlayPanel* FindPanel(QWidget* AControl) const;
    int Count() const { return static_cast<int>(FPanels.size()); }
    TOverlayPanel* GetPanel(int Index) const;
    // One pass of the periodic refresh. The timer runs every 500 ms while a
    // panel or an image is disabled, and stops once the refresh has enabled
    // them all: markers as they should be cost no wake-ups.
    void Refresh();
    bool RefreshRunning() const { return FRefresh.isActive(); }

private:
    // Guarded: the window may free a panel with its parent before the manager.
    std::vector<std::pair<QPointer<QWidget>, QPointer<TOverlayPanel>>> FPanels;
    QTimer FRefresh;
};
