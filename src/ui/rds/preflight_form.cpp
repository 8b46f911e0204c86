#include "ui/rds/preflight_form.h"

#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <memory>

#include "rds/data_validator.h"
#include "ui/kit/base_form.h"
#include "ui/kit/fonts.h"

namespace {

// The icon of each alert type: 16 x 16 pictures side by side in one sheet,
// or the style's message icons when the sheet is not there.
std::array<QIcon, 3> AlertIcons(QStyle* Style)
{
    std::array<QIcon, 3> icons;
    const QImage sheet(QStringLiteral(":/ALERT_ICONS"));
    const QStyle::StandardPixmap fallback[3]
        = {QStyle::SP_MessageBoxInformation, QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxQuestion};
    for (int i = 0; i < 3; ++i) {
        if (sheet.width() >= 16 * (i + 1) && sheet.height() >= 16)
            icons[i] = QIcon(QPixmap::fromImage(sheet.copy(16 * i, 0, 16, 16)));
        else
            icons[i] = Style->standardIcon(fallback[i]);
    }
    return icons;
}

QString FromLatin1(const std::string& S)
{
    return QString::fromLatin1(S.data(), qsizetype(S.size()));
}

// Texts written with CR LF line ends, shown with the toolkit's line ends.
QString ForDisplay(QString Text)
{
    return Text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace

TPreflightForm::TPreflightForm(QWidget* Parent)
    : QDialog(Parent,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("Preflight"));
    setFont(WindowFont());
    setFixedSize(371, 300);

    auto* lbIssues = new QLabel(QStringLiteral("Issues"), this);
    lbIssues->setGeometry(8, 6, 200, 16);

    lvAlerts = new QTreeWidget(this);
    lvAlerts->setGeometry(8, 24, 355, 120);
    lvAlerts->setColumnCount(2);
    lvAlerts->setHeaderHidden(true);
    lvAlerts->setRootIsDecorated(false);
    lvAlerts->setItemsExpandable(false);
    lvAlerts->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvAlerts->setSelectionMode(QAbstractItemView::SingleSelection);
    lvAlerts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The name column runs to the list's right edge so that the highlight
    // of a selected row spans the whole list.
    lvAlerts->header()->setStretchLastSection(true);
    lvAlerts->header()->setMinimumSectionSize(22);
    lvAlerts->setColumnWidth(0, 22);
    lvAlerts->setColumnWidth(1, 300);
    lvAlerts->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lvAlerts->setIconSize(QSize(16, 16));

    auto* lbDescr = new QLabel(QStringLiteral("Issue Description"), this);
    lbDescr->setGeometry(8, 150, 200, 16);

    memDescr = new QPlainTextEdit(this);
    memDescr->setGeometry(8, 168, 355, 90);
    memDescr->setReadOnly(true);
    memDescr->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    btnSave = new QPushButton(QStringLiteral("Save"), this);
    btnSave->setGeometry(207, 266, 75, 25);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setGeometry(288, 266, 75, 25);
    btnSave->setAutoDefault(false);
    Button2->setAutoDefault(false);

    imgAlerts = AlertIcons(style());

    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvAlerts, &QTreeWidget::itemSelectionChanged, this, [this] { ShowSelected(); });
    connect(lvAlerts, &QTreeWidget::itemClicked, this, [this] { ShowSelected(); });

    OnConfirm = [](const QString& Question) {
        return TBaseForm::ShowMessage(ForDisplay(Question), mtConfirmation, mbYes | mbNo, 0) == mrYes;
    };

    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect a = s->availableGeometry();
        move(a.center() - QPoint(width() / 2, height() / 2));
    }
}

void TPreflightForm::Load(const TAlertArray& Alerts)
{
    lvAlerts->clear();
    memDescr->clear();
    btnSave->setEnabled(true);
    FAlerts = Alerts;
    for (int i = 0; i < static_cast<int>(FAlerts.size()); ++i) {
        const TAlert& a = FAlerts[i];
        auto* row = new QTreeWidgetItem(lvAlerts);
        row->setText(1, FromLatin1(a.Name));
        const int type = static_cast<int>(a.AlertType);
        if (type >= 0 && type < 3)
            row->setIcon(0, imgAlerts[type]);
        row->setData(0, Qt::UserRole, i);
        if (a.AlertType == altCancel)
            btnSave->setEnabled(false);
    }
    if (lvAlerts->topLevelItemCount() > 0)
        lvAlerts->setCurrentItem(lvAlerts->topLevelItem(0));
}

void TPreflightForm::ShowSelected()
{
    const QList<QTreeWidgetItem*> sel = lvAlerts->selectedItems();
    if (sel.isEmpty())
        return;
    const int i = sel.first()->data(0, Qt::UserRole).toInt();
    memDescr->clear();
    if (i >= 0 && i < static_cast<int>(FAlerts.size()))
        memDescr->setPlainText(ForDisplay(FromLatin1(FAlerts[i].Description)));
}

void TPreflightForm::btnSaveClick()
{
    if (!btnSave->isEnabled())
        return;
    for (const TAlert& a : FAlerts) {
        if (a.AlertType != altConfirm)
            continue;
        if (!OnConfirm || !OnConfirm(FromLatin1(a.Description) + QStringLiteral("\r\nContinue?"))) {
            reject();
            return;
        }
    }
    accept();
}

bool TPreflightForm::Execute(const TAlertArray& Alerts)
{
    Load(Alerts);
    return exec() == QDialog::Accepted;
}

namespace {

class TPreflightPresenter : public TAlertPresenter {
public:
    bool PresentAlerts(const TAlertArray& Alerts) override
    {
        TPreflightForm form(QApplication::activeWindow());
        return form.Execute(Alerts);
    }
};

} // namespace

void InstallPreflightPresenter()
{
    static TPreflightPresenter presenter;
    SetAlertPresenter(&presenter);
}
