// The settings window end to end: the port list built from the serial ports
// and "ipaddr.ini", connecting serial and TCP readers, every reader command of
// the window against the simulator, the refusals that send nothing, and the
// language change written at once.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/app.h"
#include "app/main_frame.h"
#include "connection/port_scan.h"
#include "connection/serial_ports.h"
#include "connection/setting_dlg.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

struct Window {
    explicit Window(RunningTool& tool) : tool(tool), dialog(*tool.app, tool.app->mainFrame()) {}
    template <class T> T* find(const QString& name) { return dialog.findChild<T*>(name); }
    void click(const QString& name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    QString text(const QString& name) { return find<QLineEdit>(name)->text(); }
    void choosePort(const QString& portName) {
        auto* list = find<QComboBox>("port");
        list->setCurrentIndex(list->findData(portName));
    }
    RunningTool& tool;
    CSettingDlg dialog;
};

// Serial enumeration that finds the given ports, or fails.
SerialEnumerator ports(QList<unsigned> numbers, bool works = true) {
    return [=](QList<unsigned>& n, QStringList& names) {
        n = numbers;
        names.clear();
        for (unsigned number : numbers)
            names << QStringLiteral("Port %1").arg(number);
        return works;
    };
}

// A loopback port nobody listens on: bound once, then let go.
int deadLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

QStringList listed(const PortList& list) {
    QStringList out;
    for (const QString& name : list.Order())
        out << name + " " + list.Get(name).friendlyName;
    return out;
}

} // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void portListFromSerialPortsAndIpaddrIni_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("enumerationWorks");
        QTest::addColumn<QStringList>("expected");
        const QStringList com{"COM1 Port 1", "COM7 Port 7"};
        QTest::newRow("no file") << QByteArray() << true << com;
        QTest::newRow("enumeration fails")
            << QByteArray() << false << QStringList{"COM1 ",     "COM2 COM2", "COM3 COM3", "COM4 COM4",
                                                    "COM5 COM5", "COM6 COM6", "COM7 COM7", "COM8 COM8"};
        QTest::newRow("three characters only")
            << QByteArray("[TCP001]\nipaddr=127.0.0.1\ntcpport=4000\n[TCP1000]\nIPADDR=127.0.0.2\n") << true
            << com + QStringList{"TCP001 <127.0.0.1:4000>", "TCP100 <127.0.0.2:9001>"};
        QTest::newRow("defaults and signs")
            << QByteArray("[TCP-12]\n[TCP 7x]\ntcpport=12abc\n") << true
            << com + QStringList{"TCP000 <192.168.80.200:9001>", "TCP007 <192.168.80.200:12>"};
        QTest::newRow("same number twice")
            << QByteArray("[TCP005]\nipaddr=1.1.1.1\n[NET005]\nipaddr=2.2.2.2\n") << true
            << com + QStringList{"TCP005 <2.2.2.2:9001>", "TCP005 <2.2.2.2:9001>"};
        QTest::newRow("address with a place marker")
            << QByteArray("[TCP003]\nipaddr=%1%2\n") << true << com + QStringList{"TCP003 <%1%2:9001>"};
        QTest::newRow("address cut at 15") << QByteArray("[TCP002]\nipaddr=127.000.000.001.5\ntcpport=-3\n")
                                           << true << com + QStringList{"TCP002 <127.000.000.001:-3>"};
        QByteArray many;
        for (int i = 0; i < 5000; ++i)
            many += "[TCP" + QByteArray::number(i % 1000).rightJustified(3, '0') + "]\n";
        // 4096 bytes hold 585 names of 6 characters with their NULs and the closing NUL.
        QStringList first = com;
        for (int i = 0; i < 585; ++i)
            first << QStringLiteral("TCP%1 <192.168.80.200:9001>").arg(i, 3, 10, QLatin1Char('0'));
        QTest::newRow("thousands of sections") << many << true << first;
        QByteArray binary(4096, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = static_cast<char>(i * 131 + 7);
        QTest::newRow("binary") << binary << true << com;
    }
    void portListFromSerialPortsAndIpaddrIni() {
        QFETCH(QByteArray, ini);
        QFETCH(bool, enumerationWorks);
        AppFolder folder;
        if (!ini.isEmpty()) folder.put("ipaddr.ini", ini);
        PortList list;
        ConnectionInfo current(1, 6);
        current.handle = 0x1234;
        RefreshPortList(list, current, folder.path(), ports({1, 7}, enumerationWorks));
        QTEST(listed(list), "expected");
        // The connection in use keeps its handle and rate through a rebuild.
        QCOMPARE(list.Get("COM1").handle, 0x1234);
        QCOMPARE(list.Get("COM7").handle, -1);
        QCOMPARE(list.Get("COM1").baudRate, 115200);
    }

    void serialPortsNameTheirDevice() {
        QList<unsigned> numbers;
        QStringList names;
        QVERIFY(EnumerateSerialPorts(numbers, names));
        if (names.isEmpty()) QSKIP("no serial port on this machine");
        for (const QString& name : names)
            QVERIFY2(name.contains("/dev/"), qPrintable(name));
    }

    void noSerialPortFoundListsNone() {
        AppFolder folder;
        PortList list;
        ConnectionInfo current;
        RefreshPortList(list, current, folder.path(), ports({}));
        QVERIFY(list.Order().isEmpty());
    }

    void readerConsoleAgainstTheSimulator() {
        RunningTool tool;
        Window window(tool);
        auto* port = window.find<QComboBox>("port");
        QVERIFY(port->currentText().startsWith("COM1 " + QString::fromStdString(tool.sim.ptyPath())));
        QCOMPARE(window.find<QPushButton>("connect")->text(), QString("Disconnect"));
        QVERIFY(!port->isEnabled());
        QVERIFY(!window.find<QPushButton>("refresh")->isEnabled());

        window.click("readProductInfo");
        QCOMPARE(tool.resultText(), QString("Read product infomation successfully"));
        QCOMPARE(window.text("hardwareVersion"), QString("0.1.0.2"));
        QCOMPARE(window.text("serialNumber"), QString("VRSIM001"));
        QCOMPARE(window.text("libraryVersion"), QString("1.6"));

        window.find<QLineEdit>("deviceAddress")->setText("0102");
        window.click("writeAddress");
        QCOMPARE(tool.resultText(), QString("Write device flag successfully"));
        QCOMPARE(tool.sim.reader.access([](sim::ReaderState& s, sim::Field&) { return s.address; }), 0x0102);
        window.find<QLineEdit>("deviceAddress")->clear();
        window.click("readAddress");
        QCOMPARE(tool.resultText(), QString("Read product flag successfully"));
        QCOMPARE(window.text("deviceAddress"), QString("0201"));

        window.find<QLineEdit>("beepTime")->setText("0A");
        window.click("beep");
        QCOMPARE(tool.resultText(), QString("Set beep time successfully"));
        window.find<QComboBox>("colour")->setCurrentIndex(3);
        window.click("light");
        QCOMPARE(tool.resultText(), QString("Set light color successfully"));
        window.find<QRadioButton>("antennaOff")->setChecked(true);
        window.click("antenna");
        QCOMPARE(tool.resultText(), QString("Set antenna status successfully"));
        const auto state = tool.sim.reader.access([](sim::ReaderState& s, sim::Field& f) {
            return std::tuple{s.lastBeep, s.led, f.antennaOn()};
        });
        QCOMPARE(state, std::make_tuple(std::uint8_t{0x0A}, std::uint8_t{3}, false));

        // An empty beep field sends nothing and still reports success.
        window.find<QLineEdit>("beepTime")->clear();
        std::size_t before = tool.sim.requests();
        window.click("beep");
        QCOMPARE(tool.resultText(), QString("Set beep time successfully"));
        QCOMPARE(tool.sim.requests(), before);
        // One byte is not an address: refused before anything is sent.
        window.find<QLineEdit>("deviceAddress")->setText("01");
        window.click("writeAddress");
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, QString("Please input 2 bytes device flag"));
        QCOMPARE(tool.sim.requests(), before);

        window.click("flashTest");
        QCOMPARE(tool.resultText(), QString("Test flash successfully"));
        tool.sim.reader.access([](sim::ReaderState& s, sim::Field&) { s.flash.wear(0, 5, 0x45); });
        window.click("flashTest");
        QCOMPARE(tool.resultText(), QString("Error: 40 ,Function: Flash test"));

        window.click("connect");
        QCOMPARE(tool.resultText(), QString("Disconnect operation successfully"));
        QVERIFY(!tool.app->CurrentConnection.IsConnected());
        QVERIFY(port->isEnabled());
        QCOMPARE(window.find<QPushButton>("connect")->text(), QString("Connect"));
    }

    void withoutConnectionNothingIsSent_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        for (const char* button :
             {"readProductInfo", "writeAddress", "beep", "light", "antenna", "flashTest"})
            QTest::newRow(button) << button << "Error: Cannot connect to device";
        QTest::newRow("readAddress") << "readAddress"
                                     << "Error: Reader isn't connected!";
    }
    void withoutConnectionNothingIsSent() {
        QFETCH(QString, button);
        RunningTool tool;
        tool.app->mainFrame()->OnDisconnect();
        Window window(tool);
        window.find<QLineEdit>("beepTime")->setText("01");
        window.find<QLineEdit>("deviceAddress")->setText("0001");
        const std::size_t before = tool.sim.requests();
        window.click(button);
        QTEST(tool.resultText(), "text");
        QCOMPARE(tool.sim.requests(), before);
    }

    void tcpReaderFromIpaddrIniBesideTheOpenSerialOne() {
        RunningTool tool;
        const int deadPort = deadLoopbackPort();
        tool.folder.put("ipaddr.ini", QStringLiteral("[TCP001]\nipaddr=127.0.0.1\ntcpport=%1\n[TCP002]\n"
                                                     "ipaddr=127.0.0.1\ntcpport=%2\n")
                                          .arg(tool.sim.tcpPort())
                                          .arg(deadPort)
                                          .toLatin1());
        Window window(tool);
        window.choosePort("TCP002");
        auto* rate = window.find<QComboBox>("rate");
        QVERIFY(!rate->isEnabled());
        QCOMPARE(rate->currentText(), QString("19200"));
        window.click("connect");
        QCOMPARE(tool.resultText(), QString("Error: ffffffff ,Function: rf_init_com"));
        QCOMPARE(tool.app->CurrentConnection.portName, QString("COM1"));

        window.choosePort("TCP001");
        window.click("connect");
        QCOMPARE(tool.resultText(), QString("Connect device success"));
        QCOMPARE(tool.app->CurrentConnection.portName, QString("TCP001"));
        QCOMPARE(tool.app->mainFrame()->windowTitle(), QString("Oskelle  -  MifareOne[Reader:TCP001]"));
        // Both readers stay open and listed across refreshes, even when the pty
        // is never found and the TCP reader's section is gone, so both are closed at exit.
        const ConnectionInfo com1 = tool.app->Ports.Get("COM1");
        const ConnectionInfo tcp = tool.app->Ports.Get("TCP001");
        QVERIFY(com1.IsConnected());
        window.dialog.OnRefresh();
        tool.folder.put("ipaddr.ini", "");
        window.dialog.OnRefresh();
        QCOMPARE(tool.app->Ports.Get("TCP001"), tcp);
        QCOMPARE(tool.app->Ports.Get("COM1"), com1);
        QCOMPARE(window.find<QComboBox>("port")->currentData().toString(), QString("TCP001"));
        tool.app->mainFrame()->close();
        QCOMPARE(tool.app->api().rf_ClosePortVer5(com1.icdev()), -6);
        QCOMPARE(tool.app->api().rf_ClosePortVer5(tcp.icdev()), -6);
    }

    void languageChangeIsWrittenAtOnce() {
        RunningTool tool;
        Window window(tool);
        window.find<QComboBox>("language")->setCurrentIndex(1);
        QCOMPARE(tool.app->LanguageId(), QString("zh_CN"));
        QCOMPARE(tool.settings.stored("LangID").toString(), QString("zh_CN"));
        QCOMPARE(tool.settings.stored("ComPort").toString(), QString("1"));
        // The next window opens on the stored language.
        Window again(tool);
        QCOMPARE(again.find<QComboBox>("language")->currentIndex(), 1);
    }

    void settingMenuOpensTheWindowModally() {
        RunningTool tool;
        QString title;
        QTimer::singleShot(0, [&] {
            QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
            title = QApplication::activeModalWidget()->windowTitle();
            QApplication::activeModalWidget()->findChild<QPushButton*>("exit")->click();
        });
        tool.app->mainFrame()->settingAction()->trigger();
        QCOMPARE(title, QString("Setting Window"));
    }
};

OSKELLE_TEST(SettingsWindowTest);
#include "settings_window_test.moc"
