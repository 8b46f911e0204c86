#pragma once
// The program's own help window: the help page in a text browser that follows
// the page's links and anchors itself, so help opens on any desktop, with no
// browser or URL launcher installed. Only links that leave the page (a web
// address, a mail address) go to the desktop's launcher, and when that fails
// the user is told so.
#include <QString>
#include <QUrl>
#include <QWidget>
#include <functional>

class QTextBrowser;
class QToolButton;

// The anchor of the help page's section for a help context: "ctx<N>".
QString HelpContextAnchor(int HelpContext);

// The help context of Control or, failing that, of its nearest container that
// has one; 0 when none does.
int HelpContextOf(const QObject* Control);

// Opens Url with the desktop's launcher; when nothing could open it, says so
// in the program's message box. Answers whether it was opened.
bool OpenExternalUrl(const QUrl& Url);

class THelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit THelpWindow(QWidget* Parent = nullptr);

    // Loads File (again only when it is another file) and scrolls to Anchor,
    // or to the top when Anchor is empty or not on the page. False, with
    // nothing shown, when the file cannot be read.
    bool ShowPage(const QString& File, const QString& Anchor);

    QTextBrowser* Browser() const { return FBrowser; }
    // The file shown; empty before the first page.
    const QString& File() const { return FFile; }
    // Where a link that leaves the page goes (OpenExternalUrl unless replaced).
    std::function<bool(const QUrl&)> OnExternalLink = &OpenExternalUrl;

private:
    void LinkClicked(const QUrl& Url);

    QTextBrowser* FBrowser;
    QToolButton* FBack;
    QToolButton* FContents;
    QString FFile;
};
