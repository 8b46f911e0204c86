#pragma once
// The main window's status bar: the hint of what is under the mouse, the
// program's version, and the status panel. The status panel shows the
// connection's status in its colours (flashing when the status asks for it),
// the running script's progress in its place ("Reading 12/33"), and otherwise
// the status followed by the first line of the most pressing note (why the
// last script failed, where a factory reset's backup went, kept edits, the
// last live text); the notes
// in full, and why a port cannot be had, are its tool tip.

#include "dialogue/dialogue_view.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>

class QTimer;

// What the status panel shows.
struct TStatusBarInfo {
    QString Text;
    std::uint32_t Fore = 0; // toolkit colour value, red in the low byte
    std::uint32_t Back = 0;
    bool Inverse = false; // Fore and Back swapped
    bool Flash = false;
};

// A toolkit colour value (red in the low byte) as a Qt colour.
QColor ToolkitColour(std::uint32_t Value);

// The notes the status panel keeps beside the status, most pressing first.
enum TStatusNote : std::uint8_t {
    snFailure, // why the last script failed
    snBackup,  // where the settings before a factory reset went
    snPending, // edits kept for the next read
    snLive,    // the last text the Live Text page put on air
};

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* Parent);

    static constexpr int HintWidth = 400;
    static constexpr int VersionWidth = 90;
    // Room the status panel keeps on a narrow bar (the hint panel gives way,
    // down to HintMin): its text in bold, and at least a port and a status word.
    int StatusRoom() const;
    static constexpr int HintMin = 120;
    // The rectangle of panel 0, 1 or 2.
    QRect PanelRect(int Panel) const;

    QString Hint;
    QString VersionText;

    const TStatusBarInfo& Info() const { return FInfo; }
    // The status before the first one arrives: its text and colours.
    void SetInitialStatus(const QString& Text, std::uint32_t Fore, std::uint32_t Back);
    // A status of the connection ("ttyUSB0: Connected"); Flash swaps its
    // colours twice a second until the next status. Render shows it.
    void ShowStatus(const QString& Word, std::uint32_t Fore, std::uint32_t Back, bool Flash);
    // The timer that swaps the colours of a flashing status, twice a second,
    // and one swap.
    QTimer* FlashTimer() const { return FFlashTimer; }
    void FlashStep();

    // A note's text: its first line is the short form shown beside the
    // status, the whole of it goes to the tool tip. Empty removes it.
    void SetNote(TStatusNote Which, const QString& Text);
    // The short form of the most pressing note, and every note in full.
    QString Note() const;
    QString Detail() const;

    // The panel's text and tool tip from the status, the running script of
    // Port, the notes and Problem (why the port cannot be had, or empty).
    void Render(const QString& Port, const TScriptProgress& Progress, const QString& Problem);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void DrawStatus(QPainter& Canvas, const QRect& Rect) const;

    TStatusBarInfo FInfo;
    // The status as the connection gave it ("ttyUSB0: Connected").
    QString FWord;
    std::array<QString, 4> FNotes;
    QTimer* FFlashTimer;
};
