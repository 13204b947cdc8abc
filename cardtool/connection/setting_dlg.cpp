#include "connection/setting_dlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "chrome/accessible_names.h"
#include "chrome/tab_order.h"
#include "connection/serial_ports.h"
#include "services/app_context.h"
#include "services/message_boxes.h"
#include "widgets/hex_edit.h"

namespace {

constexpr int kFlashBytes = 128;
constexpr int kFlashPause = 500; // ms: the reader finishes its flash cycle
const char* const kChinese = "\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87"; // 简体中文

QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

QPushButton* button(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

template <class W> W* named(W* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

SerialEnumerator CSettingDlg::EnumerateSerialPortsFn() { return &EnumerateSerialPorts; }

CSettingDlg::CSettingDlg(AppContext& app, QWidget* parent, SerialEnumerator enumerate)
    : QDialog(parent), app_(app), enumerate_(std::move(enumerate)) {
    setObjectName("settingWindow");
    setWindowTitle("Setting Window");

    auto* portGroup = new QGroupBox("Com Port Set", this);
    port_ = named(new QComboBox(portGroup), "port");
    rate_ = named(new QComboBox(portGroup), "rate");
    connect_ = button("Connect", "connect", portGroup);
    refresh_ = button("Refresh", "refresh", portGroup);
    auto* portGrid = new QGridLayout(portGroup);
    portGrid->addWidget(caption("Port", port_, portGroup), 0, 0);
    portGrid->addWidget(port_, 0, 1);
    portGrid->addWidget(refresh_, 0, 2);
    portGrid->addWidget(caption("Rate", rate_, portGroup), 1, 0);
    portGrid->addWidget(rate_, 1, 1);
    portGrid->addWidget(connect_, 1, 2);
    port_->setMinimumWidth(260);

    auto* infoGroup = new QGroupBox("Prod.Info.", this);
    hardware_ = named(new QLineEdit(infoGroup), "hardwareVersion");
    serial_ = named(new QLineEdit(infoGroup), "serialNumber");
    library_ = named(new QLineEdit(infoGroup), "libraryVersion");
    auto* readInfo = button("Read", "readProductInfo", infoGroup);
    auto* infoGrid = new QGridLayout(infoGroup);
    int row = 0;
    for (auto [text, field] : {std::pair{"HW Ver.", hardware_}, std::pair{"Serial NO.", serial_},
                               std::pair{"DLL Ver.", library_}}) {
        field->setReadOnly(true);
        infoGrid->addWidget(caption(text, field, infoGroup), row, 0);
        infoGrid->addWidget(field, row++, 1);
    }
    infoGrid->addWidget(readInfo, row, 1);

    auto* addressGroup = new QGroupBox("Device address", this);
    address_ = named(new HexEdit(addressGroup, 2), "deviceAddress");
    address_->setAccessibleName("Device address");
    auto* readAddress = button("Read", "readAddress", addressGroup);
    auto* writeAddress = button("Write", "writeAddress", addressGroup);
    auto* addressRow = new QHBoxLayout(addressGroup);
    addressRow->addWidget(address_);
    addressRow->addWidget(readAddress);
    addressRow->addWidget(writeAddress);

    auto* beepGroup = new QGroupBox("Set beep time", this);
    beep_ = named(new HexEdit(beepGroup, 1), "beepTime");
    auto* runBeep = button("Run", "beep", beepGroup);
    auto* beepGrid = new QGridLayout(beepGroup);
    beepGrid->addWidget(beep_, 0, 0);
    beepGrid->addWidget(caption("x10ms", beep_, beepGroup), 0, 1);
    beepGrid->addWidget(runBeep, 0, 2);
    auto* beepRange = new QLabel(beepGroup);
    beepGrid->addWidget(beepRange, 1, 0, 1, 2);

    auto* lightGroup = new QGroupBox("Set light color", this);
    colour_ = named(new QComboBox(lightGroup), "colour");
    auto* runLight = button("Run", "light", lightGroup);
    auto* lightRow = new QHBoxLayout(lightGroup);
    lightRow->addWidget(caption("Color", colour_, lightGroup));
    lightRow->addWidget(colour_);
    lightRow->addWidget(runLight);

    auto* antennaGroup = new QGroupBox("Set antenna status", this);
    on_ = named(new QRadioButton("ON", antennaGroup), "antennaOn");
    off_ = named(new QRadioButton("OFF", antennaGroup), "antennaOff");
    auto* runAntenna = button("Run", "antenna", antennaGroup);
    auto* antennaRow = new QHBoxLayout(antennaGroup);
    antennaRow->addWidget(on_);
    antennaRow->addWidget(off_);
    antennaRow->addWidget(runAntenna);

    auto* languageGroup = new QGroupBox("Select Language", this);
    language_ = named(new QComboBox(languageGroup), "language");
    language_->addItems({"English", QString::fromUtf8(kChinese)});
    auto* languageRow = new QHBoxLayout(languageGroup);
    languageRow->addWidget(caption("Language", language_, languageGroup));
    languageRow->addWidget(language_, 1);

    auto* flashTest = button("Flash Test", "flashTest", this);
    auto* exit = button("Exit", "exit", this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(portGroup, 0, 0, 1, 2);
    grid->addWidget(infoGroup, 1, 0, 2, 1);
    grid->addWidget(addressGroup, 1, 1);
    grid->addWidget(beepGroup, 2, 1);
    grid->addWidget(lightGroup, 3, 0);
    grid->addWidget(antennaGroup, 3, 1);
    grid->addWidget(languageGroup, 4, 0);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(flashTest);
    bottom->addWidget(exit);
    grid->addLayout(bottom, 4, 1);

    // Opening, in order: captions, ports, rates, colours and antenna, widths, language.
    app_.catalog.translateWindow(this);
    RefreshPortList(app_.Ports, app_.CurrentConnection, app_.AppDir, enumerate_);
    fillPortList();
    for (int i = 0; i < static_cast<int>(kBaudTable.size()); ++i)
        rate_->addItem(QString::number(kBaudTable[i]), i);
    // A TCP entry's number is no baud index: above 6 the list shows no rate.
    rate_->setCurrentIndex(rate_->findData(app_.CurrentConnection.baudIndex));
    colour_->addItem("Black out", 0);
    colour_->addItem("Red", 1);
    colour_->addItem("Green", 2);
    colour_->addItem("Yellow", 3);
    on_->setChecked(true);
    const QString id = app_.LanguageId();
    const QString shown = id == QLatin1String("en_US")   ? QStringLiteral("English")
                          : id == QLatin1String("zh_CN") ? QString::fromUtf8(kChinese)
                                                         : QString();
    if (!shown.isEmpty()) language_->setCurrentIndex(language_->findText(shown, Qt::MatchStartsWith));
    UpdateConnectionControls();
    nameControls(this);
    orderTabsWhenShown(this);
    address_->setAccessibleName(addressGroup->title());
    beepRange->setText("0x00 - 0xff"); // reads the same in every language

    connect(port_, &QComboBox::currentIndexChanged, this, &CSettingDlg::UpdateConnectionControls);
    connect(rate_, &QComboBox::currentIndexChanged, this, &CSettingDlg::UpdateConnectionControls);
    connect(connect_, &QPushButton::clicked, this, &CSettingDlg::OnConnect);
    connect(refresh_, &QPushButton::clicked, this, &CSettingDlg::OnRefresh);
    connect(readInfo, &QPushButton::clicked, this, &CSettingDlg::OnReadProductInfo);
    connect(readAddress, &QPushButton::clicked, this, &CSettingDlg::OnReadAddress);
    connect(writeAddress, &QPushButton::clicked, this, &CSettingDlg::OnWriteAddress);
    connect(runBeep, &QPushButton::clicked, this, &CSettingDlg::OnBeep);
    connect(runLight, &QPushButton::clicked, this, &CSettingDlg::OnLight);
    connect(runAntenna, &QPushButton::clicked, this, &CSettingDlg::OnAntenna);
    connect(flashTest, &QPushButton::clicked, this, &CSettingDlg::OnFlashTest);
    connect(language_, &QComboBox::currentIndexChanged, this, &CSettingDlg::OnLanguage);
    connect(exit, &QPushButton::clicked, this, &QDialog::accept);
}

void CSettingDlg::fillPortList() {
    const QSignalBlocker quiet(port_);
    port_->clear();
    int current = 0;
    for (const QString& name : app_.Ports.Order()) {
        const ConnectionInfo entry = app_.Ports.Get(name);
        if (name == app_.CurrentConnection.portName && current == 0) current = port_->count();
        port_->addItem(entry.portName + QLatin1Char(' ') + entry.friendlyName, name);
    }
    port_->setCurrentIndex(port_->count() > 0 ? current : -1);
}

QString CSettingDlg::selectedName() const { return port_->currentData().toString(); }

void CSettingDlg::setPortControlsEnabled(bool enabled) {
    port_->setEnabled(enabled);
    rate_->setEnabled(enabled);
    refresh_->setEnabled(enabled);
}

void CSettingDlg::UpdateConnectionControls() {
    const ConnectionInfo entry = app_.Ports.Get(selectedName());
    if (entry.IsTcp()) {
        const QSignalBlocker quiet(rate_);
        rate_->setEnabled(false);
        rate_->setCurrentIndex(2);
    } else {
        rate_->setEnabled(true);
    }
    if (entry.IsConnected()) {
        connect_->setText(app_.Translate("Disconnect"));
        setPortControlsEnabled(false);
    } else {
        connect_->setText(app_.Translate("Connect"));
        port_->setEnabled(true);
        refresh_->setEnabled(true);
    }
    connect_->setAccessibleName(connect_->text());
    app_.ConnectionChanged();
}

void CSettingDlg::OnConnect() {
    const QString name = selectedName();
    if (name.isEmpty()) return;
    ConnectionInfo entry = app_.Ports.Get(name);
    ResultSink& frame = app_.results();
    if (entry.IsConnected()) {
        app_.api().rf_ClosePortVer5(entry.icdev());
        entry.handle = -1;
        app_.CurrentConnection = entry;
        app_.Ports.Set(name, entry);
        frame.ShowSuccess(app_.Translate("Disconnect operation successfully"));
        connect_->setText(app_.Translate("Connect"));
        setPortControlsEnabled(true);
    } else {
        int handle = -1;
        if (entry.IsTcp()) {
            handle = app_.api().rf_init_net(entry.ipAddr.toLatin1().constData(), entry.tcpPort);
        } else {
            // No rate selected (the window opened on a TCP entry numbered above 6): 19200.
            const int index = rate_->currentIndex();
            entry.SetBaudIndex(index >= 0 ? rate_->itemData(index).toInt() : 2);
            handle = app_.api().rf_init_com(entry.port, entry.baudRate);
        }
        if (handle < 0) {
            frame.ShowResult(handle, "rf_init_com");
            return;
        }
        entry.handle = handle;
        app_.CurrentConnection = entry;
        app_.Ports.Set(name, entry);
        frame.ShowSuccess("Connect device success");
        connect_->setText(app_.Translate("Disconnect"));
        setPortControlsEnabled(false);
    }
    connect_->setAccessibleName(connect_->text());
    app_.ConnectionChanged();
}

void CSettingDlg::OnRefresh() {
    RefreshPortList(app_.Ports, app_.CurrentConnection, app_.AppDir, enumerate_);
    fillPortList();
    UpdateConnectionControls();
}

bool CSettingDlg::requireConnection(const QString& text) {
    if (app_.CurrentConnection.IsConnected()) return true;
    app_.results().ShowError(text);
    return false;
}

unsigned short CSettingDlg::icdev() const { return app_.CurrentConnection.icdev(); }

void CSettingDlg::OnReadProductInfo() {
    if (!requireConnection()) return;
    ResultSink& result = app_.results();
    const ReaderApi& api = app_.api();
    unsigned char model[4] = {}; // the reader's version word; two bytes are written
    if (const int code = api.rf_get_model(icdev(), model); code != 0)
        return result.ShowResult(code, "rf_get_model");
    const unsigned b0 = model[0];
    const unsigned b1 = model[1];
    hardware_->setText(QStringLiteral("%1.%2.%3.%4").arg(b0 >> 4).arg(b0 & 0x0F).arg(b1 >> 4).arg(b1 & 0x0F));
    unsigned char serial[8] = {};
    if (const int code = api.rf_get_snr(icdev(), serial); code != 0)
        return result.ShowResult(code, "rf_get_snr");
    // The serial number is text of up to 8 characters, ending at a NUL if there is one.
    serial_->setText(QString::fromLatin1(reinterpret_cast<const char*>(serial),
                                         qstrnlen(reinterpret_cast<const char*>(serial), 8)));
    unsigned int version = 0;
    if (const int code = api.lib_ver(&version); code != 0) return result.ShowResult(code, "lib_ver");
    library_->setText(QStringLiteral("%1.%2").arg((version >> 4) & 0x0F).arg(version & 0x0F));
    result.ShowSuccess("Read product infomation successfully");
}

void CSettingDlg::OnReadAddress() {
    if (!requireConnection("Reader isn't connected!")) return;
    unsigned short word = icdev();
    if (const int code = app_.api().rf_get_device_number(icdev(), &word); code != 0)
        return app_.results().ShowResult(code, "rf_get_device_number");
    // The word's two bytes in memory order, low-order byte first.
    const unsigned char bytes[2] = {static_cast<unsigned char>(word & 0xFF),
                                    static_cast<unsigned char>(word >> 8)};
    address_->showBytes(bytes, 2);
    app_.results().ShowSuccess("Read product flag successfully");
}

void CSettingDlg::OnWriteAddress() {
    if (!requireConnection()) return;
    if (address_->byteCount() != 2) {
        app_.boxes().show(this, "Please input 2 bytes device flag", "Error", MessageBoxes::Stop,
                          MessageBoxes::Ok);
        return;
    }
    const QByteArray bytes = address_->bytes();
    const auto address = static_cast<unsigned short>(static_cast<unsigned char>(bytes[0]) * 256 +
                                                     static_cast<unsigned char>(bytes[1]));
    if (const int code = app_.api().rf_init_device_number(icdev(), address); code != 0)
        return app_.results().ShowResult(code, "rf_init_device_number");
    app_.results().ShowSuccess("Write device flag successfully");
}

void CSettingDlg::OnBeep() {
    if (!requireConnection()) return;
    const QByteArray time = beep_->bytes();
    if (!time.isEmpty()) {
        if (const int code = app_.api().rf_beep(icdev(), static_cast<unsigned char>(time[0])); code != 0)
            return app_.results().ShowResult(code, "rf_beep");
    }
    app_.results().ShowSuccess("Set beep time successfully");
}

void CSettingDlg::OnLight() {
    if (!requireConnection()) return;
    const auto colour = static_cast<unsigned char>(colour_->currentData().toInt());
    if (const int code = app_.api().rf_light(icdev(), colour); code != 0)
        return app_.results().ShowResult(code, "rf_light");
    app_.results().ShowSuccess("Set light color successfully");
}

void CSettingDlg::OnAntenna() {
    if (!requireConnection()) return;
    if (const int code = app_.api().rf_antenna_sta(icdev(), on_->isChecked() ? 1 : 0); code != 0)
        return app_.results().ShowResult(code, "rf_antenna_sta");
    app_.results().ShowSuccess("Set antenna status successfully");
}

void CSettingDlg::OnFlashTest() {
    if (!requireConnection()) return;
    ResultSink& result = app_.results();
    unsigned char data[kFlashBytes];
    for (int i = 0; i < kFlashBytes; ++i)
        data[i] = static_cast<unsigned char>(i);
    if (const int code = app_.api().rf_Reader_FlashWrite(icdev(), 0, 0, kFlashBytes, data); code != 0)
        return result.ShowResult(code, "rf_Reader_FlashWrite");
    result.ShowSuccess("Write flash successfully");
    app_.library.calls().pause(kFlashPause);
    unsigned char read[kFlashBytes] = {};
    if (const int code = app_.api().rf_Reader_FlashRead(icdev(), 0, 0, kFlashBytes, read); code != 0)
        return result.ShowResult(code, "rf_Reader_FlashRead");
    result.ShowSuccess("Read flash successfully");
    app_.library.calls().pause(kFlashPause);
    // The first differing byte decides, as a byte-wise comparison would.
    for (int i = 0; i < kFlashBytes; ++i)
        if (read[i] != data[i]) return result.ShowResult(int(read[i]) - int(data[i]), "Flash test");
    result.ShowSuccess("Test flash successfully");
}

void CSettingDlg::OnLanguage() { app_.SetLanguage(language_->currentText()); }
