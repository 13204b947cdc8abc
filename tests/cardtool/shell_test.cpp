// The card tool from start to exit, through the real library and a simulated
// reader on COM1: settings read and written back, connecting at start (never
// to a TCP reader), the menu's connection commands, card-type switching.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>

#include <QAbstractButton>

#include "app/about_dialog.h"
#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "pages/page_factory.h"
#include "tool_fixture.h"

using namespace tooltest;

class ShellTest : public QObject {
    Q_OBJECT
  private slots:
    void firstStartConnectsCom1AndWritesSettingsAtExit() {
        RunningTool tool;
        QVERIFY(tool.started);
        CTavistoApp& app = *tool.app;
        CMainFrame* frame = app.mainFrame();
        QCOMPARE(app.CurCard, 1);
        QCOMPARE(frame->windowTitle(), QString("Oskelle  -  MifareOne[Reader:COM1]"));
        QVERIFY(app.CurrentConnection.IsConnected());
        QVERIFY(tool.boxes.shown.isEmpty());
        QVERIFY(app.Ports.Get("COM1").IsConnected());
        QVERIFY(!frame->connectAction()->isEnabled());
        QVERIFY(frame->disconnectAction()->isEnabled());
        QVERIFY(frame->cardTypeAction(1)->isChecked());

        frame->OnDisconnect();
        QCOMPARE(tool.resultText(), QString("Disconnect operation successfully"));
        QVERIFY(!app.CurrentConnection.IsConnected());
        QVERIFY(frame->connectAction()->isEnabled());
        QVERIFY(!frame->disconnectAction()->isEnabled());
        frame->OnConnect();
        QCOMPARE(tool.resultText(), QString("Connect device success"));
        QVERIFY(!frame->connectAction()->isEnabled());

        tool.app->ExitInstance();
        const QList<std::pair<const char*, QVariant>> written{
            {"CurCard", "1"},  {"IpAddr", ""},  {"tcpPort", "0"},   {"ComPort", "1"},
            {"BaudRate", "2"}, {"Type", "com"}, {"FriendName", ""}, {"LangID", "en_US"}};
        for (const auto& [name, value] : written)
            QCOMPARE(tool.settings.stored(name).toString(), value.toString());
        tool.app.reset();
    }

    void storedTcpEntryIsNeverDialledAtStart() {
        SimulatedReader probe; // only to count what reaches a reader
        PrivateSettings settings;
        settings.put("ComPort", "256");
        settings.put("BaudRate", "7");
        settings.put("IpAddr", "127.0.0.1");
        settings.put("tcpPort", QString::number(probe.tcpPort()));
        ScriptedBoxes boxes;
        CTavistoApp app(binFolder(), boxes);
        QVERIFY(app.InitInstance());
        QCOMPARE(probe.requests(), std::size_t{0});
        QVERIFY(boxes.shown.isEmpty());
        QVERIFY(!app.CurrentConnection.IsConnected());
        QCOMPARE(app.mainFrame()->windowTitle(), QString("Oskelle  -  MifareOne[Reader:TCP007]"));

        // Asked for, the TCP reader is connected over loopback.
        app.mainFrame()->OnConnect();
        QCOMPARE(app.mainFrame()->resultLine()->text(), QString("Connect device success"));
        QVERIFY(app.CurrentConnection.IsConnected());
        QVERIFY(probe.requests() > 0);
        app.ExitInstance();
        QCOMPARE(settings.stored("ComPort").toString(), QString("256"));
        QCOMPARE(settings.stored("Type").toString(), QString("tcp"));
    }

    void failedAutomaticConnectionIsReportedAndTheWindowOpens() {
        PrivateSettings settings;
        settings.put("ComPort", "200"); // no device behind COM200
        ScriptedBoxes boxes;
        CTavistoApp app(binFolder(), boxes);
        QVERIFY(app.InitInstance());
        QCOMPARE(boxes.shown.size(), 1);
        QCOMPARE(boxes.shown[0].text, QString("Connect device failed!"));
        QCOMPARE(boxes.shown[0].caption, QString("Error"));
        QVERIFY(app.mainFrame()->isVisible());
        app.mainFrame()->OnConnect();
        QCOMPARE(app.mainFrame()->resultLine()->text(), QString("Error: Connect device failed!"));
        app.ExitInstance();
    }

    void cardTypeSwitchReplacesThePageAndSameTypeKeepsIt() {
        RunningTool tool;
        CMainFrame* frame = tool.app->mainFrame();
        frame->OnCardType(0);
        QPointer<QWidget> ultralight = tool.page();
        QCOMPARE(tool.app->CurCard, 0);
        QCOMPARE(frame->windowTitle(), QString("Oskelle  -  Ultra Light[Reader:COM1]"));
        tool.find<QLineEdit>("page5")->setText("CAFE");
        frame->OnCardType(0);
        QCOMPARE(tool.page(), ultralight.data());
        QCOMPARE(tool.find<QLineEdit>("page5")->text(), QString("CAFE"));

        frame->cardToolBar()->actions().at(7)->trigger(); // the SAM button
        QVERIFY(ultralight.isNull());
        QVERIFY(!frame->cardTypeAction(0)->isChecked());
        QVERIFY(frame->cardTypeAction(7)->isChecked());
        QCOMPARE(tool.app->CurCard, 7);
        tool.app->ExitInstance();
        QCOMPARE(tool.settings.stored("CurCard").toString(), QString("7"));
        tool.app.reset();
    }

    void everyConnectedPortIsClosedAtExit() {
        RunningTool tool;
        CTavistoApp& app = *tool.app;
        // A second reader, as the settings window would open it.
        ConnectionInfo second(kTcpPort, 1);
        second.ipAddr = "127.0.0.1";
        second.tcpPort = tool.sim.tcpPort();
        second.handle = app.api().rf_init_net("127.0.0.1", second.tcpPort);
        QVERIFY(second.handle >= 0);
        app.Ports.Add(second);
        const ConnectionInfo first = app.CurrentConnection;
        QVERIFY(first.IsConnected());
        app.mainFrame()->close();
        // Both handles are gone: closing them again finds no reader.
        QCOMPARE(app.api().rf_ClosePortVer5(first.icdev()), -6);
        QCOMPARE(app.api().rf_ClosePortVer5(second.icdev()), -6);
    }

    void storedValuesOutOfRangeFallBack_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("card");
        QTest::addColumn<QString>("portName");
        QTest::addColumn<int>("baudRate");
        QTest::addColumn<QString>("language");
        QTest::newRow("card 12") << "CurCard"
                                 << "12" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("card text") << "CurCard"
                                   << "two" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("card 9") << "CurCard"
                                << "9" << 9 << "COM1" << 19200 << "en_US";
        QTest::newRow("baud 5") << "BaudRate"
                                << "5" << 1 << "COM1" << 57600 << "en_US";
        QTest::newRow("baud 9") << "BaudRate"
                                << "9" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("baud negative") << "BaudRate"
                                       << "-1" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("port 0") << "ComPort"
                                << "0" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("port 2^32-1") << "ComPort"
                                     << "4294967295" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("port 2^32") << "ComPort"
                                   << "4294967296" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("port 3") << "ComPort"
                                << "3" << 1 << "COM3" << 19200 << "en_US";
        QTest::newRow("type tcp, port 3") << "Type"
                                          << "tcp" << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("language zh") << "LangID"
                                     << "zh_CN" << 1 << "COM1" << 19200 << "zh_CN";
        QTest::newRow("language 256 bytes")
            << "LangID" << QString(256, 'x') << 1 << "COM1" << 19200 << "en_US";
        QTest::newRow("language 255 bytes")
            << "LangID" << QString(255, 'x') << 1 << "COM1" << 19200 << QString(255, 'x');
    }
    void storedValuesOutOfRangeFallBack() {
        QFETCH(QString, name);
        QFETCH(QString, value);
        PrivateSettings settings;
        settings.put(name, value);
        ScriptedBoxes boxes;
        CTavistoApp app(binFolder(), boxes);
        app.LoadSettings();
        QTEST(app.CurCard, "card");
        QTEST(app.CurrentConnection.portName, "portName");
        QTEST(app.CurrentConnection.baudRate, "baudRate");
        QTEST(app.LangID, "language");
        // A key that exists brings the stored-key defaults for everything else.
        if (name != "FriendName") QCOMPARE(app.CurrentConnection.friendlyName, QString("nofriendName"));
        QCOMPARE(app.CurrentConnection.tcpPort, 10002);
    }

    void productTextsFromAppConfig_data() {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<QString>("name");
        QTest::newRow("no file") << QByteArray() << "Oskelle";
        QTest::newRow("empty file") << QByteArray("\n") << "";
        QTest::newRow("other name") << QByteArray("[AppInfo]\r\nSoftwareName=Card Desk\r\n") << "Card Desk";
        QTest::newRow("other key only") << QByteArray("[AppInfo]\nVersion=9\n") << "";
        QByteArray binary(70000, '\0');
        for (int i = 0; i < binary.size(); ++i)
            binary[i] = static_cast<char>((i * 7919) >> 3);
        QTest::newRow("binary") << binary << "";
        QTest::newRow("long name") << QByteArray("[AppInfo]\nSoftwareName=") + QByteArray(400, 'n')
                                   << QString(259, 'n');
    }
    void productTextsFromAppConfig() {
        QFETCH(QByteArray, content);
        QTemporaryDir folder;
        if (!content.isEmpty()) {
            QFile file(folder.filePath("AppConfig.ini"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        ScriptedBoxes boxes;
        CTavistoApp app(folder.path(), boxes);
        QTEST(app.GetAppInfo(2), "name");
        // The About box's maker lines are never blank.
        CAboutDlg about(app, nullptr);
        for (QLabel* line : about.findChildren<QLabel*>())
            if (line->pixmap().isNull()) QVERIFY(!line->text().isEmpty());
    }

    void windowFitsTheScreensFreeArea_data() {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("outside");
        QTest::newRow("large screen") << QRect(0, 0, 1920, 1040) << QRect(10, 10, 1024, 768);
        QTest::newRow("768 screen, taskbar below") << QRect(0, 0, 1366, 728) << QRect(10, 0, 1024, 728);
        QTest::newRow("bar above") << QRect(0, 24, 1280, 776) << QRect(10, 32, 1024, 768);
        QTest::newRow("small screen") << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600);
    }
    void windowFitsTheScreensFreeArea() {
        QFETCH(QRect, available);
        const QMargins frame(4, 28, 4, 4);
        const QRect inside = MainWindowGeometry(available, frame);
        QTEST(inside.marginsAdded(frame), "outside");
        QVERIFY(available.contains(inside.marginsAdded(frame)));
    }

    // Pages made before the main window exists (or after it went) report nowhere, and do not crash.
    void pagesWorkWithoutTheMainWindow() {
        PrivateSettings settings;
        ScriptedBoxes boxes;
        CTavistoApp app(binFolder(), boxes);
        for (auto [type, button] : {std::pair{1, "searchCard"}, {6, "inventory"}}) {
            std::unique_ptr<QWidget> page(CreatePage(type, app, nullptr));
            auto* press = page->findChild<QAbstractButton*>(button);
            QVERIFY(press != nullptr);
            press->click();
        }
        QVERIFY(app.mainFrame() == nullptr);
    }

    void menuAndResultLineStayInTheWindow() {
        RunningTool tool;
        CMainFrame* frame = tool.app->mainFrame();
        // No context menu that could hide the card-type toolbar.
        QVERIFY(frame->createPopupMenu() == nullptr);
        // A desktop with a global menu bar would take a native bar out of the window.
        QVERIFY(!frame->menuBar()->isNativeMenuBar());
        frame->ShowError("shown");
        ResultLine* line = frame->resultLine();
        QVERIFY(line->isVisible());
        QVERIFY(line->height() >= 16);
        QVERIFY(frame->rect().contains(line->geometry()));
    }
};

OSKELLE_TEST(ShellTest);
#include "shell_test.moc"
