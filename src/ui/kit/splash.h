#pragma once
// A borderless, always-on-top window showing one picture at its natural size
// in the middle of the screen, optionally with a centred bold text line, a thin
// progress line under it and any controls placed on it. Serves as the start-up
// splash and, shown modally, as the about box.
#include "ui/kit/base_form.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

class QTimer;

class TSplash : public TBaseForm {
    Q_OBJECT
public:
    explicit TSplash(QWidget* AOwner = nullptr);
    ~TSplash() override;

    // Takes a copy of the picture; the window takes its size.
    void CreateSplash(const QImage& AImage);
    // Shows without taking activation, on top, painted at once.
    void ShowSplash();
    // 0 hides now; otherwise hides ADelay ms later (a new call restarts the delay).
    void HideSplash(int ADelay);
    int ShowModal() override;
    // Shows the progress line and advances it by Step, wrapping to 0 at 100.
    void DoProgress(int Step);
    void StopProgress();

    QString Text() const { return FText; }
    void SetText(const QString& Value);
    int Y() const { return FY; }
    void SetY(int Value);
    QColor Color() const { return FColor; }
    void SetColor(const QColor& Value);
    int Progress() const { return FProgress; }
    bool ProgressVisible() const { return FProgressVisible; }
    bool HidePending() const;
    const QImage& ImageContainer() const { return FImageContainer; }
    // Number of repaints requested so far (a property change that stores
    // nothing new requests none).
    int RepaintRequests() const { return FRepaintRequests; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void Centre();
    void Invalidate();

    QImage FImageContainer;
    QFont FCanvasFont;
    QString FText;
    int FY = -1;
    QColor FColor = Qt::white;
    QTimer* FTimer;
    int FProgress = 0;
    bool FProgressVisible = false;
    int FRepaintRequests = 0;
};
