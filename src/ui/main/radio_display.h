#pragma once
// The simulated car-radio front panel: the radio picture with the current
// dynamic-PS frame in white dot-matrix characters on its display. The window
// owns the scroller and the timer; each tick calls DPSTimerTimer.
#include "ui/main/custom_font.h"

#include <QImage>
#include <QWidget>
#include <memory>

class TStringScroller;

class TRadioDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 492;
    static constexpr int kHeight = 152;
    // Where the first character's cell goes on the display window.
    static constexpr int kTextX = 205;
    static constexpr int kTextY = 65;

    // Loads the radio picture (":/PNG_RADIO1", magenta left out) and cuts the
    // font from the glyph sheet (":/PNG_8X5").
    explicit TRadioDisplay(QWidget* parent = nullptr);
    ~TRadioDisplay() override;

    // The scroller whose last frame is shown; may be nullptr (nothing is shown
    // and ticks do nothing). Set it to nullptr before freeing the scroller.
    TStringScroller* Scroller() const { return FScroller; }
    void Scroller(TStringScroller* Value);

    // One tick of the dynamic-PS timer: while a scroller exists and the device
    // is connected, takes the scroller's next frame and repaints. Returns
    // whether it stepped.
    bool DPSTimerTimer(bool Connected);

    // Redraws the back buffer: white, the radio picture, the last frame.
    void pb32radioPaintBuffer();
    // Marks the back buffer for redrawing and schedules a repaint.
    void Invalidate();

    // The back buffer as last painted (ARGB32, kWidth x kHeight).
    const QImage& Buffer() const { return FBuffer; }
    const TCustomFont& Font() const { return *CF; }
    const QImage& RadioPicture() const { return radiobg; }

    QSize sizeHint() const override { return {kWidth, kHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage FBuffer;
    bool FBufferValid = false;
    QImage radiobg;
    std::unique_ptr<TCustomFont> CF;
    TStringScroller* FScroller = nullptr;
};
