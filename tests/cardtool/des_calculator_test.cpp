// The DES calculator through the library: known answers for single and
// double-length keys, the two refusals, and its life as a single window.
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "pages/des_calculator.h"
#include "tool_fixture.h"

using namespace tooltest;

class DesCalculatorTest : public QObject {
    Q_OBJECT
  private slots:
    void calculates_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("data");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("result"); // empty: refused
        QTest::addColumn<QString>("message");
        const QString pt = "0123456789ABCDEF";
        const QString ct = "85E813540F0AB405";
        QTest::newRow("single key") << "133457799BBCDFF1" << pt << "encrypt" << ct << "";
        QTest::newRow("single key back") << "133457799BBCDFF1" << ct << "decrypt" << pt << "";
        // Two equal halves make triple DES collapse to single DES.
        QTest::newRow("double key") << "133457799BBCDFF1133457799BBCDFF1" << pt << "encrypt" << ct << "";
        QTest::newRow("weak key zeros") << "0101010101010101"
                                        << "0000000000000000"
                                        << "encrypt"
                                        << "8CA64DE9C1B123A7"
                                        << "";
        QTest::newRow("64 bytes") << "133457799BBCDFF1" << pt.repeated(8) << "encrypt" << ct.repeated(8)
                                  << "";
        QTest::newRow("12-byte key") << "133457799BBCDFF113345779" << pt << "encrypt"
                                     << ""
                                     << "Please input 8 or 16 bytes key in key area";
        QTest::newRow("empty data") << "133457799BBCDFF1"
                                    << ""
                                    << "decrypt"
                                    << ""
                                    << "date length must be 8 multiple in data area";
        QTest::newRow("12 bytes of data") << "133457799BBCDFF1" << pt + "01234567"
                                          << "encrypt"
                                          << ""
                                          << "date length must be 8 multiple in data area";
    }
    void calculates() {
        QFETCH(QString, key);
        QFETCH(QString, data);
        QFETCH(QString, button);
        QFETCH(QString, message);
        RunningTool tool;
        CMainFrame* frame = tool.app->mainFrame();
        frame->OnDesCalculator();
        QDialog* calculator = frame->desCalculator();
        QVERIFY(calculator != nullptr);
        calculator->findChild<QLineEdit*>("key")->setText(key);
        calculator->findChild<QLineEdit*>("data")->setText(data);
        const std::size_t before = tool.sim.requests();
        QTest::mouseClick(calculator->findChild<QPushButton*>(button), Qt::LeftButton);
        QTEST(calculator->findChild<QLineEdit*>("result")->text(), "result");
        if (message.isEmpty()) {
            QVERIFY(tool.boxes.shown.isEmpty());
        } else {
            QCOMPARE(tool.boxes.shown.size(), 1);
            QCOMPARE(tool.boxes.shown[0].text, message);
            QCOMPARE(tool.boxes.shown[0].caption, QString("error"));
            QCOMPARE(tool.boxes.shown[0].icon, MessageBoxes::Stop);
        }
        QCOMPARE(tool.sim.requests(), before); // DES never needs the reader
    }

    void oneCalculatorAtATime() {
        RunningTool tool;
        CMainFrame* frame = tool.app->mainFrame();
        QVERIFY(frame->desAction()->isEnabled());
        frame->desAction()->trigger();
        QPointer<QDialog> calculator = frame->desCalculator();
        QVERIFY(calculator);
        QVERIFY(!frame->desAction()->isEnabled());
        QCOMPARE(calculator->windowTitle(), QString("DES Caculator"));
        QTest::keyClick(calculator, Qt::Key_Escape);
        QTRY_VERIFY(calculator.isNull());
        QVERIFY(frame->desAction()->isEnabled());
        QVERIFY(frame->desCalculator() == nullptr);
    }
};

OSKELLE_TEST(DesCalculatorTest);
#include "des_calculator_test.moc"
