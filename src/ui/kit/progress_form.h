#pragma once
// A borderless, stay-on-top pseudo-modal window for long operations: a message
// memo, a message label, two progress bars and a Cancel button, any subset of
// which is shown. While it is up the program's other windows are disabled; it
// centres itself on the window it was opened from.
#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

enum TPFExPart { pfpLabel = 0x01, pfpMemo = 0x02, pfpProgress = 0x04, pfpProgress1 = 0x08, pfpCancel = 0x10 };
using TPFExParts = unsigned; // an or-ed set of TPFExPart

class TProgressFormEx : public QWidget {
    Q_OBJECT
public:
    explicit TProgressFormEx(QWidget* AOwner = nullptr);

    TPFExParts Parts() const { return FParts; }
    void SetParts(TPFExParts Value);

    void DoModalShow(QWidget* FromOwner);
    void DoModalHide();
    void DoCenter(QWidget* FromOwner);

    // Which edges the window keeps when centred (Qt::LeftEdge | Qt::TopEdge ...).
    Qt::Edges Anchors() const { return FAnchors; }
    void SetAnchors(Qt::Edges Value) { FAnchors = Value; }

    QPointer<QWidget> ShowedFrom;
    QList<QWidget*> Controls;            // the five parts in creation order
    QList<QPointer<QWidget>> WindowList; // the windows disabled by DoModalShow
    bool AllowClose = false;
    bool Status = false; // set by Cancel, cleared on each opening
    QProgressBar* ProgressBar;
    QProgressBar* ProgressBar1;
    QLabel* InfoLabel;
    QPlainTextEdit* infoMemo;
    QPushButton* btnCancel;
    std::function<void()> OnShow;
    std::function<void()> OnHide;

    static constexpr int FrameWidth = 4;
    static constexpr int FormWidth = 380;

protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    struct Margins {
        int Top = 0;
        int Bottom = 4;
    };
    void Relayout();
    QWidget* PartControl(TPFExPart Part) const;

    TPFExParts FParts = 0;
    Qt::Edges FAnchors = Qt::LeftEdge | Qt::TopEdge | Qt::RightEdge | Qt::BottomEdge;
    QList<Margins> FMargins;
};
