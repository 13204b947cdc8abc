// Hex fields as a user meets them: the keys that belong to the field or to its
// window, and pasted hex with separators or stray characters, where what the
// field shows is what reaches the card.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "pages/iso14443_4_page.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {
constexpr const char* kCard = R"({"cards": [{"kind": "classic1k", "uid": "11223344"}]})";

void paste(QLineEdit* field, const QString& text) {
    QApplication::clipboard()->setText(text);
    field->setFocus();
    QTest::keySequence(field, QKeySequence::Paste);
}
} // namespace

class HexFieldsTest : public QObject {
    Q_OBJECT
  private slots:
    void keysReachTheFieldAndTheWindow() {
        RunningTool tool;
        CMainFrame* frame = tool.app->mainFrame();
        frame->OnDesCalculator();
        QDialog* calculator = frame->desCalculator();
        auto* key = calculator->findChild<QLineEdit*>("key");
        calculator->findChild<QLineEdit*>("data")->setText("0123456789ABCDEF");
        // The characters that once stood for arrow keys are not hex.
        QTest::keyClicks(key, "%'.133457799BBCDFF1g");
        QCOMPARE(key->text(), QString("133457799BBCDFF1"));
        QTest::keyClick(key, Qt::Key_Left);
        QTest::keyClick(key, Qt::Key_Delete);
        QCOMPARE(key->text(), QString("133457799BBCDFF"));
        QTest::keyClick(key, Qt::Key_End);
        QTest::keyClick(key, Qt::Key_1);
        // Return presses Encrypt; Escape closes the window.
        QTest::keyClick(key, Qt::Key_Return);
        QCOMPARE(calculator->findChild<QLineEdit*>("result")->text(), QString("85E813540F0AB405"));
        QTest::keyClick(key, Qt::Key_Escape);
        QTRY_VERIFY(frame->desCalculator() == nullptr);
    }

    void pastedHex_data() {
        QTest::addColumn<int>("card");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("shown");
        const QString block = "DEADBEEF0102030405060708090A0B0C";
        QTest::newRow("block with spaces") << 1 << "window2Block2"
                                           << "DE AD BE EF 01 02 03 04 05 06 07 08 09 0A 0B 0C" << block;
        QTest::newRow("block with other separators") << 1 << "window2Block2"
                                                     << "de:ad-be,ef\t01\r\n02"
                                                     << "deadbeef0102";
        QTest::newRow("APDU with spaces") << 5 << "cosCommand"
                                          << "00 84 00 00 08"
                                          << "0084000008";
        QTest::newRow("APDU with a stray character") << 5 << "cosCommand"
                                                     << "00 84 00 0O 08"
                                                     << "";
    }
    void pastedHex() {
        QFETCH(int, card);
        QFETCH(QString, field);
        QFETCH(QString, pasted);
        RunningTool tool;
        tool.app->mainFrame()->OnCardType(card);
        auto* edit = tool.find<QLineEdit>(field);
        QVERIFY(edit != nullptr);
        paste(edit, pasted);
        QTEST(edit->text(), "shown");
    }

    // The block a user pasted is the block the card holds afterwards.
    void pastedBlockIsWrittenAsShown() {
        RunningTool tool(kCard);
        tool.app->mainFrame()->OnCardType(1);
        auto* written = tool.find<QComboBox>("window2WriteBlock");
        written->setCurrentIndex(written->findData(2));
        auto* sector = tool.find<QComboBox>("window2Sector");
        sector->setCurrentIndex(sector->findData(1));
        paste(tool.find<QLineEdit>("window2Block2"), "DE AD BE EF 01 02 03 04 05 06 07 08 09 0A 0B 0C");
        tool.click("window2WriteCard");
        QCOMPARE(tool.resultText(), QString("Write card successfully"));
        tool.find<QLineEdit>("window2Block2")->clear();
        tool.click("window2ReadCard");
        QCOMPARE(tool.find<QLineEdit>("window2Block2")->text(), QString("DEADBEEF0102030405060708090A0B0C"));
    }
};

OSKELLE_TEST(HexFieldsTest);
#include "hex_fields_test.moc"
