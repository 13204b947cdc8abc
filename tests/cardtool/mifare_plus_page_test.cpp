// The MifarePlus page end to end on a simulated MIFARE Plus 2K: a card's
// whole life from the GUI (personalised at level 0, committed, used as a
// Classic at level 1, switched to level 3 and used with AES keys), level 2,
// the failures each button reports, and the checks that send nothing.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "pages/classic_sector_ops.h"
#include "simulator/cards/mifare_plus.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

constexpr int kMifarePlus = 8;
const QString kFullKey(32, u'F');

QByteArray plusCard(int level) {
    return QStringLiteral(R"({"cards": [{"kind": "mifareplus2k", "uid": "04A1B2C3", "level": %1}]})")
        .arg(level)
        .toUtf8();
}

struct PlusTool : RunningTool {
    explicit PlusTool(const QByteArray& cards, const QString& language = QString())
        : RunningTool(cards.isEmpty() ? nullptr : cards.constData(), language) {
        app->mainFrame()->OnCardType(kMifarePlus);
    }

    QString text(const QString& name) const { return find<QLineEdit>(name)->text(); }
    void type(const QString& name, const QString& text) const { find<QLineEdit>(name)->setText(text); }
    void choose(const QString& list, int index) const { find<QComboBox>(list)->setCurrentIndex(index); }
    // Buttons are clicked on the tab that shows them.
    void clickOn(int level, const QString& button) const {
        find<QTabWidget>("levelTabs")->setCurrentIndex(level);
        click(button);
    }
    int cardLevel() {
        return sim.reader.access([](sim::ReaderState&, sim::Field& f) {
            return dynamic_cast<sim::MifarePlusCard&>(*f.cards().front()).securityLevel();
        });
    }
    QString lastBox() const { return boxes.shown.isEmpty() ? QString() : boxes.shown.last().text; }
};

} // namespace

class MifarePlusPageTest : public QObject {
    Q_OBJECT
  private slots:
    void tabsListsAndNotesInChinese() {
        PlusTool tool(plusCard(0), "zh_CN");
        auto* tabs = tool.find<QTabWidget>("levelTabs");
        QCOMPARE(tabs->count(), 4);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->tabText(3), QString("级别3"));
        QVERIFY(tool.find<QPlainTextEdit>("level2Note")->toPlainText().startsWith("安全级别2"));
        auto* sectors = tool.find<QComboBox>("level3WindowSector");
        QCOMPARE(sectors->count(), 32);
        QCOMPARE(sectors->itemText(7), QString("扇区 07"));
        auto* blocks = tool.find<QComboBox>("level1PurseBlock");
        QCOMPARE(blocks->count(), 4);
        QCOMPARE(blocks->itemText(3), QString("块 3"));
        QCOMPARE(tool.text("persoAddress2"), QString("9002"));
        QCOMPARE(tool.text("persoData2"), kFullKey);
        QCOMPARE(tool.text("level1PurseKey"), QString("FFFFFFFFFFFF"));
        QCOMPARE(tool.text("level3WindowKey"), kFullKey);
        QCOMPARE(tool.find<QLineEdit>("level3PurseDecimal")->maxLength(), 11);
        QCOMPARE(tool.find<QLineEdit>("level3WindowTrailerKeyA")->maxLength(), 10);
        QCOMPARE(tool.find<QLineEdit>("level3WindowTrailerAccess")->maxLength(), 10);
        QCOMPARE(tool.find<QLineEdit>("level1WindowTrailerAccess")->maxLength(), 8);
    }

    void aCardsLifeFromLevelZeroToThree() {
        PlusTool tool(plusCard(0));
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("rf_search_type_a"));
        QCOMPARE(tool.text("cardNumber"), QString("04A1B2C3"));
        tool.click("resetCard");
        QCOMPARE(tool.resultText(), QString("rf_iso14443_4_type_a_reset"));
        QCOMPARE(tool.text("resetInfo"), QString("75778002C1052F2F0116"));

        // Level 0: every key as delivered, then the card keys one by one (a level-3 switch key of its own).
        tool.clickOn(0, "writeDefault");
        QCOMPARE(tool.resultText(), QString("MFP_L0WritePerso Success! Write DefaultData."));
        QCOMPARE(tool.find<QListWidget>("errBlockList")->count(), 0);
        tool.type("persoData3", QString(32, u'3'));
        for (int row = 0; row < 4; ++row) {
            tool.clickOn(0, QStringLiteral("persoWrite%1").arg(row));
            QCOMPARE(tool.resultText(), QString("MFP_L0WritePerso success!"));
        }
        tool.clickOn(0, "level0Switch");
        QCOMPARE(tool.resultText(), QString("MFP_L0CommitPerso Success!"));
        QCOMPARE(tool.boxes.shown.size(), 2);
        QCOMPARE(tool.boxes.shown[0].text, QString("Are you sure to switch card?"));
        QCOMPARE(tool.boxes.shown[0].icon, MessageBoxes::Question);
        QCOMPARE(tool.boxes.shown[1].text, QString("Ok,Switch operation success!"));
        QCOMPARE(tool.boxes.shown[1].icon, MessageBoxes::Information);
        QCOMPARE(tool.cardLevel(), 1);

        // Level 1: a Classic with Crypto1 keys, purse and blocks.
        tool.choose("level1PurseSector", 1);
        tool.type("level1PurseDecimal", "1000");
        tool.clickOn(1, "level1PurseInitialize");
        QCOMPARE(tool.resultText(), QString("Success to inital purse."));
        tool.type("level1PurseDecimal", "2");
        tool.clickOn(1, "level1PurseIncrease");
        QCOMPARE(tool.resultText(), QString("Success to increase purse value."));
        tool.clickOn(1, "level1PurseDecrease");
        QCOMPARE(tool.resultText(), QString("Success to decrease purse value."));
        tool.clickOn(1, "level1PurseBalance");
        QCOMPARE(tool.resultText(), QString("Success to read purse value."));
        QCOMPARE(tool.text("level1PurseDecimal"), QString("1000"));
        QCOMPARE(tool.text("level1PurseBytes"), QString("E8030000"));
        tool.choose("level1WindowSector", 1);
        tool.choose("level1WindowWriteBlock", 1);
        tool.type("level1WindowBlock1", "11223344");
        tool.clickOn(1, "level1WindowWriteCard");
        QCOMPARE(tool.resultText(), QString("Success to write card block."));
        tool.clickOn(1, "level1WindowReadCard");
        QCOMPARE(tool.resultText(), QString("Success to read card sector."));
        QCOMPARE(tool.text("level1WindowBlock0"), QString("E803000017FCFFFFE803000004FB04FB"));
        QCOMPARE(tool.text("level1WindowBlock1"), QString("11223344") + QString(24, u'0'));
        QCOMPARE(tool.text("level1WindowTrailerAccess"), QString("FF078069"));

        // Up to level 3 with the level-3 switch key personalised above.
        tool.choose("switchLevelTo", 1);
        tool.type("level1SwitchKey", kFullKey);
        tool.clickOn(1, "level1Switch");
        QCOMPARE(tool.resultText(), QString("Error: 2 ,Function: MFP_SwitchToHighLevel"));
        QCOMPARE(tool.cardLevel(), 1);
        tool.type("level1SwitchKey", QString(32, u'3'));
        tool.clickOn(1, "level1Switch");
        QCOMPARE(tool.lastBox(), QString("Are you sure to switch card?"));
        QCOMPARE(tool.boxes.shown.last().caption, QString("Warning"));
        QCOMPARE(tool.resultText(), QString("MFP_SwitchToHighLevel Success!"));
        QCOMPARE(tool.cardLevel(), 3);

        // Level 3: the same memory under AES sector keys; the trailer reads 5 + 5 + 6.
        tool.choose("level3WindowSector", 1);
        tool.clickOn(3, "level3WindowReadCard");
        QCOMPARE(tool.resultText(), QString("MFP_L3ReadDataBlock Success!"));
        QCOMPARE(tool.text("level3WindowBlock1"), QString("11223344") + QString(24, u'0'));
        QCOMPARE(tool.text("level3WindowTrailerKeyA"), QString("0000000000"));
        QCOMPARE(tool.text("level3WindowTrailerAccess"), QString("00FF078069"));
        QCOMPARE(tool.text("level3WindowTrailerKeyB"), QString("FFFFFFFFFFFF"));
        tool.choose("level3WindowWriteBlock", 2);
        tool.type("level3WindowBlock2", "CAFE");
        tool.clickOn(3, "level3WindowWriteCard");
        QCOMPARE(tool.resultText(), QString("MFP_L3WriteDataBlock Success!"));

        tool.choose("level3PurseSector", 1);
        tool.clickOn(3, "level3PurseBalance");
        QCOMPARE(tool.resultText(), QString("MFP_L3PurseRead Success!"));
        QCOMPARE(tool.text("level3PurseDecimal"), QString("1000"));
        tool.type("level3PurseDecimal", "24");
        tool.clickOn(3, "level3PurseIncrease");
        QCOMPARE(tool.resultText(), QString("MFP_L3PurseIncrement Success!"));
        tool.type("level3PurseDecimal", "1");
        tool.clickOn(3, "level3PurseDecrease");
        QCOMPARE(tool.resultText(), QString("MFP_L3PurseDecrement Success!"));
        tool.clickOn(3, "level3PurseBalance");
        QCOMPARE(tool.text("level3PurseDecimal"), QString("1023"));
        QCOMPARE(tool.text("level3PurseBytes"), QString("FF030000"));
        tool.choose("level3PurseSector", 2);
        tool.type("level3PurseDecimal", "-5");
        tool.clickOn(3, "level3PurseInitialize");
        QCOMPARE(tool.resultText(), QString("MFP_L3PurseInital Success!"));

        // The raw commands: authenticate, then read and write within the sector.
        tool.type("firstAuthAddress", "4002");
        tool.clickOn(3, "firstAuthExecute");
        QCOMPARE(tool.resultText(), QString("MFP_FirstAuthentication success!"));
        tool.type("commonReadAddress", "0006");
        tool.clickOn(3, "commonReadExecute");
        QCOMPARE(tool.resultText(), QString("MFP_L3CommonRead success!"));
        QCOMPARE(tool.text("commonReadData"), QString("CAFE") + QString(28, u'0'));
        tool.type("commonWriteAddress", "0006");
        tool.type("commonWriteData", QString(32, u'7'));
        tool.clickOn(3, "commonWriteExecute");
        QCOMPARE(tool.resultText(), QString("MFP_L3CommonWrite success!"));
        tool.clickOn(3, "commonReadExecute");
        QCOMPARE(tool.text("commonReadData"), QString(32, u'7'));
        // Key B of a transport trailer is readable data: it authenticates but opens nothing.
        tool.type("followingAuthAddress", "4003");
        tool.clickOn(3, "followingAuthExecute");
        QCOMPARE(tool.resultText(), QString("MFP_FollowingAuthentication success!"));
        tool.clickOn(3, "commonReadExecute");
        QCOMPARE(tool.resultText(), QString("Error: 4 ,Function: MFP_L3CommonRead"));
        QVERIFY(tool.text("commonReadData").isEmpty());
    }

    void levelTwoOpensSectorsAfterTheirAesKeyAndSwitchesToThree() {
        PlusTool tool(plusCard(1));
        tool.click("searchCard");
        tool.choose("switchLevelTo", 0);
        tool.clickOn(1, "level1Switch");
        QCOMPARE(tool.resultText(), QString("MFP_SwitchToHighLevel Success!"));
        QCOMPARE(tool.cardLevel(), 2);

        // Crypto1 reaches the sector whose AES key authenticated, and no other.
        tool.click("searchCard");
        tool.type("firstAuthAddress", "4002");
        tool.clickOn(3, "firstAuthExecute");
        tool.choose("level1WindowSector", 1);
        tool.clickOn(1, "level1WindowReadCard");
        QCOMPARE(tool.resultText(), QString("Success to read card sector."));
        tool.choose("level1WindowSector", 2);
        tool.clickOn(1, "level1WindowReadCard");
        QCOMPARE(tool.resultText(), QString("Error: 3 ,Function: rf_M1_authentication2"));

        // Level 3 whatever the list shows, after a question asked in Chinese.
        tool.click("searchCard");
        tool.choose("level2SwitchTo", -1);
        tool.boxes.answers << MessageBoxes::AnswerCancel;
        tool.clickOn(2, "level2Switch");
        QCOMPARE(tool.lastBox(), QString("真的要升级卡片吗?"));
        QCOMPARE(tool.cardLevel(), 2);
        tool.clickOn(2, "level2Switch");
        QCOMPARE(tool.resultText(), QString("MFP_SwitchToHighLevel Success!"));
        QCOMPARE(tool.cardLevel(), 3);
        tool.clickOn(2, "level2Switch");
        QCOMPARE(tool.resultText(), QString("Error: MFP_SwitchToHighLevel Error! ret=(0x11)"));
    }

    void writeDefaultListsEveryAddressItCouldNotWrite() {
        PlusTool tool(plusCard(1));
        tool.click("searchCard");
        tool.clickOn(0, "writeDefault");
        auto* failed = tool.find<QListWidget>("errBlockList");
        QCOMPARE(failed->count(), 68);
        QCOMPARE(failed->item(0)->text(), QString("0x9000"));
        QCOMPARE(failed->item(4)->text(), QString("0x4000"));
        QCOMPARE(failed->item(67)->text(), QString("0x403f"));
        // The result line keeps the last failure rather than claiming success.
        QCOMPARE(tool.resultText(), QString("Error: 8 ,Function: MFP_L0WritePerso Error! Addr:(0x403f)"));
    }

    void failuresOnTheResultLine_data() {
        QTest::addColumn<QByteArray>("cards");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("spared"); // answers before a spoiled one, -1 for none
        QTest::addColumn<int>("level");  // the tab of the button
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("expected");
        const QByteArray three = plusCard(3);
        const QString wrongKey(32, u'0');
        QTest::newRow("no card") << QByteArray() << ""
                                 << "" << -1 << 1 << "level1WindowReadCard"
                                 << "Error: 1 ,Function: rf_search_type_a";
        QTest::newRow("no Crypto1 at level 3") << three << ""
                                               << "" << -1 << 1 << "level1PurseBalance"
                                               << "Error: 8 ,Function: rf_M1_authentication2";
        QTest::newRow("reset") << three << ""
                               << "" << 4 << 3 << "level3PurseBalance"
                               << "Error: fc ,Function: rf_iso14443_4_type_a_reset";
        QTest::newRow("read key") << three << "level3WindowKey" << wrongKey << -1 << 3
                                  << "level3WindowReadCard"
                                  << "Error: 2 ,Function: MFP_DataBlockAuthentication";
        QTest::newRow("read block") << three << ""
                                    << "" << 8 << 3 << "level3WindowReadCard"
                                    << "Error: fc ,Function: MFP_L3ReadDataBlock.s=(0) b=(2)";
        QTest::newRow("write key") << three << "level3WindowKey" << wrongKey << -1 << 3
                                   << "level3WindowWriteCard"
                                   << "Error: 2 ,Function: MFP_DataBlockAuthentication.s=(0) b=(1)";
        QTest::newRow("write block") << three << ""
                                     << "" << 6 << 3 << "level3WindowWriteCard"
                                     << "Error: fc ,Function: MFP_L3WriteDataBlock.s=(0) b=(1)";
        QTest::newRow("not a value block") << three << ""
                                           << "" << -1 << 3 << "level3PurseBalance"
                                           << "Error: 5 ,Function: MFP_L3PurseRead";
        QTest::newRow("initialize") << three << "level3PurseDecimal"
                                    << "9" << 6 << 3 << "level3PurseInitialize"
                                    << "Error: fc ,Function: MFP_L3PurseInitial";
        QTest::newRow("first auth") << three << "firstAuthData" << wrongKey << -1 << 3 << "firstAuthExecute"
                                    << "Error: MFP_FirstAuthentication Error!(ret=2<0x2>)";
        QTest::newRow("following auth") << three << ""
                                        << "" << -1 << 3 << "followingAuthExecute"
                                        << "Error: MFP_FollowingAuthentication Error!(ret=3<0x3>)";
        QTest::newRow("common write")
            << three << "commonWriteData" << wrongKey << -1 << 3 << "commonWriteExecute"
            << "Error: MFP_L3CommonWrite Error!(ret=3<0x3>)";
        QTest::newRow("common read") << three << ""
                                     << "" << -1 << 3 << "commonReadExecute"
                                     << "Error: 3 ,Function: MFP_L3CommonRead";
        QTest::newRow("perso at level 3") << three << ""
                                          << "" << -1 << 0 << "persoWrite0"
                                          << "Error: 8 ,Function: MFP_L0WritePerso";
        QTest::newRow("commit at level 3") << three << ""
                                           << "" << -1 << 0 << "level0Switch"
                                           << "Error: 8 ,Function: MFP_L0CommitPerso";
    }
    void failuresOnTheResultLine() {
        QFETCH(QByteArray, cards);
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(int, spared);
        QFETCH(int, level);
        QFETCH(QString, button);
        QFETCH(QString, expected);
        PlusTool tool(cards);
        tool.choose("level3WindowWriteBlock", 1);
        tool.type("firstAuthAddress", "4000");
        tool.type("followingAuthAddress", "4000");
        tool.type("commonWriteAddress", "0001");
        tool.type("commonReadAddress", "0001");
        if (!field.isEmpty()) tool.type(field, text);
        // The raw commands do not search: they go to the card the header found.
        if (button.endsWith("Execute")) tool.click("searchCard");
        if (spared >= 0) tool.sim.reader.faults().onceAfter(spared, sim::Fault::badChecksum());
        tool.clickOn(level, button);
        QCOMPARE(tool.resultText(), expected);
        QVERIFY(tool.boxes.shown.size() <= 1); // at most the question before a commit
    }

    void refusedInputSendsNothing_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("icon");
        const int stop = MessageBoxes::Stop, info = MessageBoxes::Information;
        const int question = MessageBoxes::Question, exclamation = MessageBoxes::Exclamation;
        QTest::newRow("perso address") << "persoAddress1"
                                       << "900" << false << 0 << "persoWrite1"
                                       << "Address length must be 2 bytes!" << stop;
        QTest::newRow("perso data") << "persoData2"
                                    << "FF" << false << 0 << "persoWrite2"
                                    << "Data length must be 16 bytes!" << stop;
        QTest::newRow("commit cancelled") << ""
                                          << "" << true << 0 << "level0Switch"
                                          << "Are you sure to switch card?" << question;
        QTest::newRow("level 1 switch key") << "level1SwitchKey"
                                            << "FF" << false << 1 << "level1Switch"
                                            << "length of key must be 16 byte." << info;
        QTest::newRow("level 1 no level") << "switchLevelTo"
                                          << "-1" << false << 1 << "level1Switch"
                                          << "Please select switch level." << info;
        QTest::newRow("level 1 switch cancelled") << ""
                                                  << "" << true << 1 << "level1Switch"
                                                  << "Are you sure to switch card?" << exclamation;
        QTest::newRow("level 1 key") << "level1PurseKey"
                                     << "FFFFFFFFFF" << false << 1 << "level1PurseBalance"
                                     << "length of key must be 6 bytes." << stop;
        QTest::newRow("level 1 trailer cancelled") << "level1WindowTrailerAccess"
                                                   << "FF078069" << true << 1 << "level1WindowWriteCard"
                                                   << "Are you sure to write control block?" << exclamation;
        QTest::newRow("level 1 broken access bits")
            << "level1WindowTrailerAccess"
            << "FF0781" << false << 1 << "level1WindowWriteCard" << ClassicMessages().badAccessBits << stop;
        QTest::newRow("level 2 key") << "level2SwitchKey"
                                     << "" << false << 2 << "level2Switch"
                                     << "switch key length must be 16 byte." << info;
        QTest::newRow("initialize key") << "level3PurseKey"
                                        << "FFFFFFFFFFFF" << false << 3 << "level3PurseInitialize"
                                        << "KeyData length must be 16!" << info;
        QTest::newRow("decrease key") << "level3PurseKey"
                                      << "FF" << false << 3 << "level3PurseDecrease"
                                      << "KeyData must be 16" << info;
        QTest::newRow("no amount") << "level3PurseDecimal"
                                   << "" << false << 3 << "level3PurseDecrease"
                                   << "please input purse value for increment." << exclamation;
        QTest::newRow("read key") << "level3WindowKey"
                                  << "FFFFFFFFFFFF" << false << 3 << "level3WindowReadCard"
                                  << "Key data length must be 16!" << info;
        QTest::newRow("write key") << "level3WindowKey"
                                   << "FF" << false << 3 << "level3WindowWriteCard"
                                   << "Key data length must be 16!" << info;
        QTest::newRow("level 3 trailer cancelled") << ""
                                                   << "" << true << 3 << "level3WindowWriteCard"
                                                   << "Are you sure to write control block?" << exclamation;
        QTest::newRow("key address") << "firstAuthAddress"
                                     << "40" << false << 3 << "firstAuthExecute"
                                     << "地址长度必须为2字节!" << stop;
        QTest::newRow("auth key") << "followingAuthData"
                                  << "FF" << false << 3 << "followingAuthExecute"
                                  << "KEY数据长度必须为16字节!" << info;
        QTest::newRow("write data") << "commonWriteData"
                                    << "FF" << false << 3 << "commonWriteExecute"
                                    << "写入数据长度必须为16字节!" << info;
        QTest::newRow("beyond a byte") << "commonReadAddress"
                                       << "0104" << false << 3 << "commonReadExecute"
                                       << "Data address must be 0000 to 00FF!" << stop;
    }
    void refusedInputSendsNothing() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(bool, cancel);
        QFETCH(int, level);
        QFETCH(QString, button);
        QFETCH(QString, box);
        QFETCH(int, icon);
        PlusTool tool(plusCard(1));
        tool.choose("level1WindowWriteBlock", 3);
        tool.choose("level3WindowWriteBlock", 3);
        tool.type("firstAuthAddress", "4000");
        tool.type("followingAuthAddress", "4000");
        tool.type("commonWriteAddress", "0004");
        tool.type("commonWriteData", kFullKey);
        if (auto* list = tool.find<QComboBox>(field))
            list->setCurrentIndex(text.toInt());
        else if (!field.isEmpty())
            tool.type(field, text);
        if (cancel) tool.boxes.answers << MessageBoxes::AnswerCancel;
        const std::size_t before = tool.sim.requests();
        tool.clickOn(level, button);
        QCOMPARE(tool.sim.requests(), before);
        QCOMPARE(tool.boxes.shown.size(), 1);
        QCOMPARE(tool.boxes.shown[0].text, box);
        QCOMPARE(int(tool.boxes.shown[0].icon), icon);
    }

    void withoutReaderTheCardButtonsSendNothing() {
        PlusTool tool(plusCard(3));
        tool.click("searchCard");
        tool.app->mainFrame()->OnDisconnect();
        const std::size_t before = tool.sim.requests();
        for (const auto& [level, button] : {std::pair{1, "level1WindowReadCard"},
                                            {1, "level1Switch"},
                                            {2, "level2Switch"},
                                            {3, "level3PurseBalance"},
                                            {0, "persoWrite0"}}) {
            tool.clickOn(level, button);
            QCOMPARE(tool.resultText(), QString("Error: Reader isn't connected!"));
        }
        tool.click("searchCard");
        QCOMPARE(tool.resultText(), QString("Error: Reader isn't connected!"));
        QVERIFY(tool.text("cardNumber").isEmpty());
        QCOMPARE(tool.sim.requests(), before);
    }
};

OSKELLE_TEST(MifarePlusPageTest);
#include "mifare_plus_page_test.moc"
