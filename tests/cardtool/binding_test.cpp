// Binding the reader library: only from the given folder, every entry by its
// exact name; a missing file or entry is reported once and start-up ends with
// no window, the settings still written back.
#include <QDir>
#include <QTest>

#include "app/app.h"
#include "services/reader_api.h"
#include "tool_fixture.h"

using namespace tooltest;

class BindingTest : public QObject {
    Q_OBJECT
  private slots:
    void brokenLibrariesStopStartUp_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        const QString stand = QStringLiteral(OSKELLE_BINDLIB_DIR "/");
        QTest::newRow("no rf_init_net") << stand + "no_init_net"
                                        << "Load libVarrok.so failed! func<rf_init_net> cann't be found.";
        QTest::newRow("no rf_ICODE1_Halt")
            << stand + "no_icode1_halt"
            << "Load libVarrok.so failed! func<rf_ICODE1_Halt> cann't be found.";
        QTest::newRow("other capitals")
            << stand + "wrong_case"
            << "Load libVarrok.so failed! func<rf_set_sam_pps_byid> cann't be found.";
        QTest::newRow("no library") << stand << "Cann't load libVarrok.so!";
    }
    void brokenLibrariesStopStartUp() {
        QFETCH(QString, folder);
        PrivateSettings settings;
        ScriptedBoxes boxes;
        {
            CTavistoApp app(folder, boxes);
            QVERIFY(!app.InitInstance());
            QVERIFY(app.mainFrame() == nullptr);
            QVERIFY(!app.library.loaded());
            app.ExitInstance();
        }
        QCOMPARE(boxes.shown.size(), 1);
        QTEST(boxes.shown[0].text, "message");
        // The store exists now, holding what was in memory.
        QVERIFY(settings.exists());
        QCOMPARE(settings.stored("CurCard").toString(), QString("1"));
        QCOMPARE(settings.stored("ComPort").toString(), QString("1"));
        QCOMPARE(settings.stored("tcpPort").toString(), QString("0"));
        QCOMPARE(settings.stored("LangID").toString(), QString("en_US"));
    }

    void theRealLibraryBindsEveryEntryFromItsFolderOnly() {
        ScriptedBoxes boxes;
        LibraryBinding binding;
        QVERIFY(binding.bind(binFolder(), boxes));
        const auto* entries = reinterpret_cast<void* const*>(&binding.api());
        for (int i = 0; i < kReaderApiEntries; ++i)
            QVERIFY2(entries[i] != nullptr, qPrintable(QString::number(i)));
        QCOMPARE(kReaderApiEntries, 111);
        unsigned int version = 0;
        QCOMPARE(binding.api().lib_ver(&version), 0);
        QVERIFY(version != 0);

        // The library in the working folder is not looked at.
        const QString before = QDir::currentPath();
        QDir::setCurrent(binFolder());
        LibraryBinding elsewhere;
        QVERIFY(!elsewhere.bind(QDir::tempPath(), boxes));
        QDir::setCurrent(before);
        QCOMPARE(boxes.shown.size(), 1);
    }
};

OSKELLE_TEST(BindingTest);
#include "binding_test.moc"
