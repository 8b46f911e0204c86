#include "app/settings_form.h"

#include <QEnterEvent>
#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include "_conn/port_facts.h"
#include "_conn/serial_connection.h"

namespace {

const QString NoPort = QStringLiteral("N/A");

QString FromPort(const std::string& Port)
{
    return QString::fromLatin1(Port.data(), static_cast<qsizetype>(Port.size()));
}

std::string ToPort(const QString& Text)
{
    return CutConfigPort(Text.toLatin1().toStdString());
}

} // namespace

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        const QString name = QStringLiteral(":/ICON_%1").arg(size);
        if (QFile::exists(name))
            icon.addFile(name, QSize(size, size));
    }
    return icon;
}

// ---------------------------------------------------------------- TPictureButton

TPictureButton::TPictureButton(QWidget* Parent) : QAbstractButton(Parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void TPictureButton::LoadPictures(const QString& Resource)
{
    FPictures = QFile::exists(Resource) ? QPixmap(Resource) : QPixmap();
    update();
}

int TPictureButton::PictureIndex() const
{
    if (!isEnabled())
        return 1;
    if (isDown())
        return 2;
    return FHot ? 3 : 0;
}

void TPictureButton::paintEvent(QPaintEvent*)
{
    if (FPictures.isNull()) {
        QStylePainter p(this);
        QStyleOptionButton opt;
        opt.initFrom(this);
        if (isDown())
            opt.state |= QStyle::State_Sunken;
        p.drawControl(QStyle::CE_PushButton, opt);
        return;
    }
    QPainter p(this);
    const int w = FPictures.width() / 4;
    const int h = FPictures.height();
    p.drawPixmap((width() - w) / 2, (height() - h) / 2, FPictures, PictureIndex() * w, 0, w, h);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }
}

void TPictureButton::enterEvent(QEnterEvent* e)
{
    FHot = true;
    update();
    QAbstractButton::enterEvent(e);
}

void TPictureButton::leaveEvent(QEvent* e)
{
    FHot = false;
    update();
    QAbstractButton::leaveEvent(e);
}

// ---------------------------------------------------------------- TSettingsForm

TSettingsForm::TSettingsForm(QWidget* AOwner, std::string SysRoot, std::string DevRoot)
    : TCustomSettingsForm(AOwner), tmpCFG(DefConfigData), FSysRoot(std::move(SysRoot)), FDevRoot(std::move(DevRoot))
{
    setWindowTitle(QStringLiteral("Settings"));
    resize(510, 300);
    const QIcon icon = ProgramIcon();
    if (!icon.isNull())
        setWindowIcon(icon);

    tvMain = new TTreeView(this);
    pcSettings = new TPageControl(this);
    TabSheet1 = new TTabSheet;
    TabSheet1->Tag = 0;
    pcSettings->addTab(TabSheet1, QStringLiteral("Device"));

    Label1 = new QLabel(QStringLiteral("Port"), TabSheet1);
    Label1->move(12, 15);
    Label1->adjustSize();
    cbCOMS = new QComboBox(TabSheet1); // pick-only
    cbCOMS->setGeometry(38, 12, 206, 21);
    btnRefreshCOM = new TPictureButton(TabSheet1);
    btnRefreshCOM->setGeometry(250, 12, 23, 22);
    btnRefreshCOM->LoadPictures(QStringLiteral(":/PNG_REFRESH"));

    Label2 = new QLabel(QStringLiteral("Reply time-out"), TabSheet1);
    Label2->move(12, 47);
    Label2->adjustSize();
    edReplyTimeout = new QSpinBox(TabSheet1);
    edReplyTimeout->setGeometry(96, 44, 148, 21);
    edReplyTimeout->setRange(0, ConfigReplyTimeoutMax);
    edReplyTimeout->setSuffix(QStringLiteral(" s"));
    edReplyTimeout->setSpecialValueText(QStringLiteral("wait without end"));
    edReplyTimeout->setAlignment(Qt::AlignRight);
    Label3 = new QLabel(QStringLiteral("How long a command waits for the encoder's reply; then the command is given "
                                       "up and the encoder disconnected."),
        TabSheet1);
    Label3->setWordWrap(true);
    Label3->setGeometry(12, 72, 300, 30);

    connect(btnRefreshCOM, &QAbstractButton::clicked, this, &TSettingsForm::btnRefreshCOMClick);
    connect(cbCOMS, &QComboBox::currentIndexChanged, this, &TSettingsForm::cbCOMSIndexChanged);

    CreateSettings();
    FillPorts();
}

void TSettingsForm::AddPort(const QString& Port)
{
    cbCOMS->addItem(Port);
    const std::string hint = PortHint(ReadPortFacts(ToPort(Port), FSysRoot, FDevRoot));
    cbCOMS->setItemData(
        cbCOMS->count() - 1, QString::fromUtf8(hint.data(), static_cast<qsizetype>(hint.size())), Qt::ToolTipRole);
}

void TSettingsForm::cbCOMSIndexChanged(int Index)
{
    // The closed list shows the tool tip of the chosen port.
    cbCOMS->setToolTip(Index > 0 ? cbCOMS->itemData(Index, Qt::ToolTipRole).toString() : QString());
}

void TSettingsForm::FillPorts()
{
    const TStringDynArray names = TConnCOM::EnumerateDevices(false, FSysRoot, FDevRoot);
    cbCOMS->clear();
    cbCOMS->addItem(NoPort);
    for (const std::string& name : names)
        AddPort(FromPort(name));
    if (!FKeptPort.isEmpty() && cbCOMS->findText(FKeptPort, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        AddPort(FKeptPort);
    cbCOMS->setCurrentIndex(0);
}

void TSettingsForm::btnRefreshCOMClick()
{
    FillPorts();
}

void TSettingsForm::PopulateSettings(void* AConfig)
{
    if (!AConfig)
        return;
    tmpCFG = *static_cast<const TConfigData*>(AConfig);
    const QString port = FromPort(tmpCFG.CONN_PORT);
    int index = port.isEmpty() ? 0 : cbCOMS->findText(port, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        FKeptPort = port;
        AddPort(port);
        index = cbCOMS->count() - 1;
    }
    cbCOMS->setCurrentIndex(index);
    edReplyTimeout->setValue(tmpCFG.CONN_REPLY_TIMEOUT);
}

void TSettingsForm::CollectSettings(void* AConfig)
{
    if (!AConfig)
        return;
    auto* config = static_cast<TConfigData*>(AConfig);
    *config = tmpCFG;
    config->CONN_PORT = cbCOMS->currentIndex() > 0 ? ToPort(cbCOMS->currentText()) : std::string();
    config->CONN_REPLY_TIMEOUT = edReplyTimeout->value();
}

void TSettingsForm::DefaultSettings(int APageTag)
{
    // Only what OK would store changes: the running window does not move.
    TConfigData config;
    CollectSettings(&config);
    if (APageTag == 0) {
        config.CONN_PORT = DefConfigData.CONN_PORT;
        config.CONN_REPLY_TIMEOUT = DefConfigData.CONN_REPLY_TIMEOUT;
    }
    config.APP_X = DefConfigData.APP_X;
    config.APP_Y = DefConfigData.APP_Y;
    PopulateSettings(&config);
}
