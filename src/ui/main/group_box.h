#pragma once
// The window's group box: a frame whose top line runs through the middle of
// the caption, broken where the caption sits. A disabled box greys its
// caption; the frame follows the style's enabled or disabled look.
#include <QGroupBox>
#include <QRect>
#include <QString>

class TGroupBox : public QGroupBox {
    Q_OBJECT
    // The help context the help manager links a marker to (0 = none).
    Q_PROPERTY(int HelpContext READ HelpContext WRITE SetHelpContext)
    // Where the frame's top line is drawn; overlay markers sit on it.
    Q_PROPERTY(int FrameLine READ FrameLine)
public:
    TGroupBox(const QString& Caption, QWidget* Parent);

    int HelpContext() const { return FHelpContext; }
    void SetHelpContext(int Value) { FHelpContext = Value; }

    // Repaints the box so that the caption takes its new colour.
    void SetEnabled(bool Value);

    // The caption's text extent, 8 pixels in from the leading edge.
    QRect CaptionRect() const;
    int FrameLine() const;

protected:
    void paintEvent(QPaintEvent* Event) override;
    void changeEvent(QEvent* Event) override;

private:
    int FHelpContext = 0;
};
