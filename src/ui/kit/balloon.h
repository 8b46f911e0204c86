#pragma once
// A borderless, always-on-top popup in the shape of a rounded rectangle with
// a triangular arrow whose tip sits on a chosen screen point. It shows an
// optional icon with a bold title above a stack of adopted controls, sizes
// itself to them and flips to stay on screen.

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <vector>

enum TBalloonAlignH : std::uint8_t { blnLeft = 0, blnCenter = 1, blnRight = 2 };
enum TBalloonAlignV : std::uint8_t { blnTop = 0, blnMiddle = 1, blnBottom = 2 };

struct TBalloonArrowPosHV {
    TBalloonAlignH H = blnLeft;
    TBalloonAlignV V = blnBottom;
    bool operator==(const TBalloonArrowPosHV&) const = default;
};

class TBalloon : public QWidget {
    Q_OBJECT
public:
    explicit TBalloon(QWidget* AOwner = nullptr);

    void Adopt(QWidget* AControl);
    void LoadIcon(const QImage& AImage);
    // From the program's resources (":/<name>"); failures leave the icon alone.
    void LoadIcon(const QString& AResourceName);

    QWidget* AlignControl() const { return FAlignControl; }
    void SetAlignControl(QWidget* Value);
    TBalloonAlignH AlignH() const { return FAlignH; }
    void SetAlignH(TBalloonAlignH Value);
    TBalloonAlignV AlignV() const { return FAlignV; }
    void SetAlignV(TBalloonAlignV Value);
    TBalloonArrowPosHV ArrowPos() const { return FArrowPos; }
    void SetArrowPos(TBalloonArrowPosHV Value);
    int ControlPosX() const { return FControlPosX; }
    void SetControlPosX(int Value);
    int ControlPosY() const { return FControlPosY; }
    void SetControlPosY(int Value);
    int ArrowHeight() const { return FArrowHeight; }
    void SetArrowHeight(int Value);
    int ArrowWidth() const { return FArrowWidth; }
    void SetArrowWidth(int Value);
    int ArrowDisposition() const { return FArrowDisposition; }
    void SetArrowDisposition(int Value);
    int Padding() const { return FPadding; }
    void SetPadding(int Value);
    int Rounding() const { return FRounding; }
    void SetRounding(int Value);
    bool HideNoFocus() const { return FHideNoFocus; }
    void SetHideNoFocus(bool Value) { FHideNoFocus = Value; }
    int Duration() const { return FDuration; }
    void SetDuration(int Value) { FDuration = Value; }

    // The caption is the title text, copied into the title at each layout.
    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& Value) { setWindowTitle(Value); }

    QLabel* TitleLabel() const { return FlbTitle; }
    QLabel* IconImage() const { return FimgIcon; }
    const QTimer& HideTimer() const { return FTimer; }
    const std::vector<QWidget*>& AdoptedControls() const { return FAdoptedControls; }

    void ComputeControlPos();
    void LayoutContent();
    void UpdatePosition();
    // The window shape of the last position update, in window coordinates.
    const QRegion& Shape() const { return FShape; }

protected:
    void showEvent(QShowEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;

private:
    void Place();
    void HideByTimer();

    QPointer<QWidget> FAlignControl;
    TBalloonAlignH FAlignH = blnCenter;
    TBalloonAlignV FAlignV = blnTop;
    TBalloonArrowPosHV FArrowPos {blnLeft, blnBottom};
    int FControlPosX = 0;
    int FControlPosY = 0;
    int FArrowHeight = 15;
    int FArrowWidth = 15;
    int FArrowDisposition = 15;
    int FPadding = 10;
    int FRounding = 5;
    bool FHideNoFocus = true;
    int FDuration = 0;

    QTimer FTimer;
    QLabel* FlbTitle;
    QLabel* FimgIcon;
    QImage FIcon;
    std::vector<QWidget*> FAdoptedControls;
    QRegion FShape;
};
