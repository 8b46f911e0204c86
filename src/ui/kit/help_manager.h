#pragma once
// Context help for one window: a marker on every control that has a help
// context, and one balloon titled "Help" that shows the context's formatted
// text with a "Hide" link below it. The texts come from an XML document.

#include <QDomDocument>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "ui/kit/balloon.h"
#include "ui/kit/html_parser.h"
#include "ui/kit/overlay.h"

struct THelpItem {
    int ID = 0;
    QString Name;
    QString Text;  // HTML subset, characters below code 32 removed
    int Width = 0; // 0: laid out 300 px wide
};

// Asked for the marker of a control; leaves Img null to give it none.
using TOnAddImage = std::function<void(QWidget* AControl, TClickImage*& Img)>;

class THelpManager {
public:
    explicit THelpManager(QWidget* AOwner);
    ~THelpManager();
    THelpManager(const THelpManager&) = delete;
    THelpManager& operator=(const THelpManager&) = delete;

    // Asks OnAddImage for a marker for every control of the owner that has a
    // help context, children before their containers.
    void Link();
    // Appends the "Context" elements below the top-level element Root.
    void LoadFromXML(const QDomDocument& XML, const QString& Root);
    // Loads the help document from a resource (":/XML_HELP" in the program);
    // a missing or malformed document loads nothing and returns false.
    bool LoadFromResource(
        const QString& Path = QStringLiteral(":/XML_HELP"), const QString& Root = QStringLiteral("HelpConfig"));
    const THelpItem* Context2HI(int HC) const;

    TOnAddImage OnAddImage;

    int Count() const { return static_cast<int>(FHelpItems.size()); }
    const THelpItem* Item(int Index) const;
    TBalloon* Balloon() const { return FHelpBalloon; }
    TClickImage* TextImage() const { return FImg; }
    QLabel* CloseLabel() const { return FCloseLabel; }

    void HelpClick(QObject* Sender);
    void HelpMouseEnter(QObject* Sender);
    void HelpMouseLeave(QObject* Sender);

private:
    void LinkControl(QWidget* Control);

    QPointer<QWidget> FOwner;
    QPointer<TBalloon> FHelpBalloon;
    QLabel* FCloseLabel;
    TClickImage* FImg;
    THTMLParser FHTMLP;
    std::vector<std::unique_ptr<THelpItem>> FHelpItems;
};
