// What every page stands on: the hex and decimal fields, the result line's
// texts, the continuous toggle, and the common Type A search against a
// simulated reader.
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/result_line.h"
#include "pages/search_sequence.h"
#include "tool_fixture.h"
#include "widgets/continuous_toggle.h"
#include "widgets/hex_edit.h"

using namespace tooltest;

namespace {
constexpr const char* kClassicField = R"({"cards": [{"kind": "classic1k", "uid": "11223344"}]})";
}

class ConventionsTest : public QObject {
    Q_OBJECT
  private slots:
    void hexFieldTypingAndReading_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("count");
        const auto none = Qt::KeyboardModifiers();
        QTest::newRow("empty") << 4 << "" << none << "" << QByteArray() << 0;
        QTest::newRow("odd length") << 4 << "ABC" << none << "ABC" << QByteArray("\xAB\x0C", 2) << 1;
        QTest::newRow("lower case") << 4 << "0aff" << none << "0aff" << QByteArray("\x0A\xFF", 2) << 2;
        QTest::newRow("letters dropped") << 4 << "1g2z3-" << none << "123" << QByteArray("\x12\x03", 2) << 1;
        QTest::newRow("arrow-key characters refused") << 4 << "%'." << none << "" << QByteArray() << 0;
        QTest::newRow("separators dropped")
            << 4 << " DE:AD" << none << "DEAD" << QByteArray("\xDE\xAD", 2) << 2;
        QTest::newRow("width limit") << 2 << "123456" << none << "1234" << QByteArray("\x12\x34", 2) << 2;
        QTest::newRow("13 chars, 6 bytes") << 8 << "FFFFFFFFFFFF1" << none << "FFFFFFFFFFFF1"
                                           << QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\x01", 7) << 6;
        // Ctrl with a letter is a shortcut, never a character.
        QTest::newRow("ctrl types nothing")
            << 4 << "zq" << Qt::KeyboardModifiers(Qt::ControlModifier) << "" << QByteArray() << 0;
    }
    void hexFieldTypingAndReading() {
        QFETCH(int, width);
        QFETCH(QString, typed);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        HexEdit field(nullptr, width);
        for (QChar c : typed)
            QTest::keyClick(&field, c.toLatin1(), modifiers);
        QTEST(field.text(), "text");
        QTEST(field.bytes(), "bytes");
        QTEST(field.byteCount(), "count");
        QCOMPARE(field.byteCapacity(), width);
    }

    void hexFieldShowsBytesAndValues() {
        HexEdit field;
        field.showValueBytes(1000);
        QCOMPARE(field.text(), QString("E8030000"));
        field.showBytes(QByteArray("\x00\xAB\x0f", 3));
        QCOMPARE(field.text(), QString("00AB0F"));
        HexEdit odd(nullptr, 0);
        odd.setMaxLength(5);
        QCOMPARE(odd.byteCapacity(), 3);
    }

    void digitField_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("value");
        QTest::newRow("empty is no input") << "" << -1;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("letters dropped") << "1a2B3" << 123;
        QTest::newRow("stops at other") << "12.5" << 12;
        QTest::newRow("saturates") << "99999999999" << 2147483647;
        QTest::newRow("only a sign") << "-" << 0;
    }
    void digitField() {
        QFETCH(QString, typed);
        DigitEdit field;
        QTest::keyClicks(&field, typed);
        QTEST(field.value(), "value");
    }

    void resultTexts_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("text");
        QTest::newRow("failure") << -1 << "rf_M1_read"
                                 << "Error: ffffffff ,Function: rf_M1_read";
        QTest::newRow("status byte") << 0x14 << ""
                                     << "Error: 14";
        QTest::newRow("success named") << 0 << "rf_halt"
                                       << " Operation success ,Function: rf_halt";
        QTest::newRow("success") << 0 << ""
                                 << "Operation success";
    }
    void reportCall_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("shortAnswer");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole answer") << 0 << false << "Read card successfully";
        QTest::newRow("short answer") << 0 << true << "Error: fffffffb ,Function: rf_at020_read";
        QTest::newRow("failure") << -1 << true << "Error: ffffffff ,Function: rf_at020_read";
    }
    void reportCall() {
        QFETCH(int, code);
        QFETCH(bool, shortAnswer);
        ResultLine line(nullptr);
        const bool succeeded = ReportCall(line, code, "rf_at020_read", "Read card successfully", shortAnswer);
        QTEST(line.text(), "text");
        QCOMPARE(succeeded, !line.isError());
    }

    void typeASerialNumber_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("uidLength");
        QTest::addColumn<int>("kept");
        QTest::newRow("4 bytes") << 7 << 4 << 4;
        QTest::newRow("7 bytes") << 10 << 7 << 7;
        QTest::newRow("answer shorter than told") << 5 << 4 << 2;
        QTest::newRow("at most 16") << 40 << 20 << 16;
        QTest::newRow("no room after the card information") << 2 << 4 << 0;
    }
    void typeASerialNumber() {
        QFETCH(int, length);
        QFETCH(int, uidLength);
        unsigned char answer[256];
        for (int i = 0; i < 256; ++i)
            answer[i] = static_cast<unsigned char>(i);
        const QByteArray serial = TypeASerial(answer, length, uidLength);
        QTEST(int(serial.size()), "kept");
        if (!serial.isEmpty()) QCOMPARE(serial.front(), char(3));
    }

    void resultTexts() {
        QFETCH(int, code);
        QFETCH(QString, function);
        ResultLine line(nullptr);
        line.ShowResult(code, function);
        QTEST(line.text(), "text");
        QCOMPARE(line.isError(), code != 0);
        line.ShowError("Cannot connect to device");
        QCOMPARE(line.text(), QString("Error: Cannot connect to device"));
    }

    void continuousToggleRepeatsUntilClickedAgain_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("start");
        QTest::newRow("English") << "en_US"
                                 << "Stop"
                                 << "Continuous Search";
        QTest::newRow("Chinese") << "zh_CN" << QString::fromUtf8("停止") << QString::fromUtf8("连续寻卡");
    }
    void continuousToggleRepeatsUntilClickedAgain() {
        QFETCH(QString, language);
        QPushButton button("Continuous Search");
        int runs = 0;
        ContinuousToggle toggle(
            &button, "Continuous Search", QString::fromUtf8("连续寻卡"), [&] { return language; },
            [&] { ++runs; });
        QTest::mouseClick(&button, Qt::LeftButton);
        QTEST(button.text(), "stop");
        QTRY_VERIFY(runs >= 3);
        QTest::mouseClick(&button, Qt::LeftButton);
        QTEST(button.text(), "start");
        QVERIFY(!toggle.running());
        // The language of each click decides its caption.
        language = language == "en_US" ? "zh_CN" : "en_US";
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(button.text(), language == "en_US" ? QString("Stop") : QString::fromUtf8("停止"));
        QVERIFY(toggle.running());
    }

    void typeASearchFindsTheCardOrClearsTheNumber() {
        RunningTool tool(kClassicField);
        HexEdit number;
        bool found = false;
        QVERIFY(FindTypeACard(*tool.app, 1, number, found));
        QVERIFY(found);
        QCOMPARE(number.text(), QString("11223344"));
        QCOMPARE(tool.resultText(), QString("Search card successfully"));

        // The card leaves the field: three attempts, then the number goes.
        tool.sim.reader.access([](sim::ReaderState&, sim::Field& field) { field.clear(); });
        QVERIFY(!FindTypeACard(*tool.app, 3, number, found));
        QVERIFY(!found);
        QVERIFY(number.text().isEmpty());
        QVERIFY(tool.resultText().endsWith(" ,Function: rf_search_type_a"));

        // Not connected: reported, and not one request goes out.
        tool.app->mainFrame()->OnDisconnect();
        const std::size_t before = tool.sim.requests();
        number.setText("99");
        found = true;
        QVERIFY(!FindTypeACard(*tool.app, 1, number, found));
        QCOMPARE(tool.resultText(), QString("Error: Reader isn't connected!"));
        QCOMPARE(tool.sim.requests(), before);
        QVERIFY(found);
    }
};

OSKELLE_TEST(ConventionsTest);
#include "conventions_test.moc"
