#pragma once
// The about box of the main window (TBaseFormMain::CreateAbout): the layout
// flags of its controls, and their arrangement on the box's picture.

#include <QList>

class QFont;
class QWidget;
class TSplash;

// Layout flags of the about box's controls.
enum TAboutFlag : unsigned {
    afOwnColor = 1,   // keep the control's own font colour (otherwise white)
    afOwnAnchors = 4, // keep the control's own anchors (otherwise left and bottom)
    afNoPosition = 8, // do not position
    afNewLine = 16,   // start a new line
    afSameLine = 32   // continue the current line
};

struct TAboutItem {
    QWidget* Control;
    unsigned Flags;
};

// The property that marks a control of the about box with its layout flags.
inline constexpr char AboutFlagsProperty[] = "kvxAboutFlags";

// Places the controls on About from its bottom up in their order: a new line
// 15 pixels in, or on the line of the one before; labels take Face with their
// own style, white unless they keep their own colour, and each is shown.
void ArrangeAboutItems(TSplash& About, const QFont& Face, const QList<TAboutItem>& Items);
