// The ISO 15693 page end to end: whole-tag reads of a 28-block and a 64-block
// tag checked against the simulator's memory, reads that fail part way, the
// request flags of the writing commands, the inputs refused before anything is
// sent, and the grid laid out for the screen.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "pages/iso15693_page.h"
#include "simulator/cards/iso15693.h"
#include "table_row.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

constexpr int kPage = 6;

// A tag of maker 4 (28 blocks) or 7 (64 blocks), every block holding bytes of its own.
QString tag(int maker, const QString& more = QString()) {
    const int blocks = maker == 4 ? 28 : 64;
    QString data;
    for (int n = 0; n < blocks; ++n)
        data += QString::asprintf("%02X%02XA5%02X", n, n ^ 0xFF, n + 1);
    return QStringLiteral(R"({"cards": [{"kind": "iso15693", "maker": %1, "serial": 4660, "dsfid": 17,
                            "afi": 34, "data": "%2", "locked": [1, 27] %3}]})")
        .arg(maker)
        .arg(data, more.isEmpty() ? QString() : ", " + more);
}

QString hex(const sim::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()))
        .toHex()
        .toUpper();
}

QString error(sim::Status status, const char* function) {
    return QStringLiteral("Error: %1 ,Function: %2").arg(int(status), 0, 16).arg(function);
}

// Runs fn on the tag in the simulator's field (the only card there).
template <class F> auto onTag(RunningTool& tool, F fn) {
    return tool.sim.reader.access([&](sim::ReaderState&, sim::Field& field) {
        return fn(dynamic_cast<sim::Iso15693Tag&>(*field.cards().front()));
    });
}

QString text(const RunningTool& tool, const QString& name) { return tool.find<QLineEdit>(name)->text(); }

} // namespace

class Iso15693PageTest : public QObject {
    Q_OBJECT
  private slots:
    void readFillsTheGridFromTheTag_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("spoilAfter"); // answers of the read spared before one is spoilt; -1: none
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("dataShown");
        QTest::addColumn<bool>("securityShown");
        const char* readFails = "Error: fc ,Function: ISO15693_Read";
        row("28-block tag found by inventory", tag(4), "inventory", -1, "Successful", 28, true);
        row("64-block tag found by its information", tag(7), "getInformation", -1, "Successful", 64, true);
        row("third data chunk fails", tag(7), "inventory", 2, readFails, 28, false);
        row("security fails", tag(7), "inventory", 5, "Error: fc ,Function: ISO15693_Get_Block_Security", 64,
            false);
        // On a page made anew a tag is taken for a long one until a search tells
        // otherwise: a short one shows its blocks and the read past its end is named.
        row("28-block tag, no search on this page", tag(4), "", -1,
            error(sim::Status::CardAddressInvalid, "ISO15693_Read"), 28, false);
    }
    void readFillsTheGridFromTheTag() {
        QFETCH(QString, field);
        QFETCH(QString, search);
        QFETCH(int, spoilAfter);
        QFETCH(QString, result);
        QFETCH(int, dataShown);
        QFETCH(bool, securityShown);
        RunningTool tool(field.toUtf8().constData());
        tool.app->mainFrame()->OnCardType(kPage);
        const QString uid = onTag(tool, [](sim::Iso15693Tag& t) {
            return hex({t.uid().begin(), t.uid().end()});
        });
        if (search.isEmpty()) {
            // The field was switched to ISO 15693 by a search on an earlier visit.
            tool.click("inventory");
            tool.app->mainFrame()->OnCardType(1);
            tool.app->mainFrame()->OnCardType(kPage);
            tool.find<QLineEdit>("uid")->setText(uid);
        } else {
            tool.find<QLineEdit>("afi")->setText("FF");
            tool.click(search);
            const bool inventory = search == "inventory";
            QCOMPARE(tool.resultText(), inventory ? QString("ISO15693_Inventory successful")
                                                  : QString("ISO15693_Get_System_Information successful"));
            QCOMPARE(text(tool, "uid"), uid);
            QCOMPARE(text(tool, "dsfid"), QString("11"));
            QCOMPARE(text(tool, "afi"), inventory ? QString() : QString("22"));
        }
        auto* page = qobject_cast<CIso15693Dlg*>(tool.page());
        QCOMPARE(page->longTag(), !field.contains("\"maker\": 4") || search.isEmpty());
        tool.find<QLineEdit>("block63")->setText("EE");
        if (spoilAfter >= 0)
            tool.sim.reader.faults().onceAfter(static_cast<std::size_t>(spoilAfter),
                                               sim::Fault::badChecksum());
        tool.click("read");
        QCOMPARE(tool.resultText(), result);
        for (int n = 0; n < CIso15693Dlg::kBlocks; ++n) {
            const QString data =
                n < dataShown ? onTag(tool, [n](sim::Iso15693Tag& t) { return hex(t.block(n)); }) : QString();
            QString status;
            if (securityShown && n < dataShown)
                status = onTag(tool, [n](sim::Iso15693Tag& t) { return t.blockLocked(n); }) ? "01" : "00";
            QCOMPARE(text(tool, QStringLiteral("block%1").arg(n)), data);
            QCOMPARE(text(tool, QStringLiteral("status%1").arg(n)), status);
        }
    }

    void writesAndLocksUseTheFlagsOfTheTagsMaker_data() {
        QTest::addColumn<int>("maker");
        QTest::addColumn<QString>("more");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("after");
        const char* denied = R"("dsfidLocked": true)";
        row("DSFID", 4, "", "writeDsfid", "dsfid", "5A", "ISO15693_Write_DSFID successful", 0x02,
            "dsfid 5A afi 22 block3 03FCA504");
        row("AFI", 7, "", "writeAfi", "afi", "A5", "ISO15693_Write_AFI successful", 0x06,
            "dsfid 11 afi A5 block3 03FCA504");
        row("lock DSFID", 7, "", "lockDsfid", "", "", "ISO15693_Lock_DSFID successful", 0x06,
            "dsfid 11L afi 22 block3 03FCA504");
        row("lock AFI", 4, "", "lockAfi", "", "", "ISO15693_Lock_AFI successful", 0x02,
            "dsfid 11 afi 22L block3 03FCA504");
        row("block", 7, "", "writeBlock", "block3", "01020304", "ISO15693_Write successful", 0x06,
            "dsfid 11 afi 22 block3 01020304");
        row("lock block", 4, "", "lockBlock", "", "", "ISO15693_Lock_Block successful", 0x02,
            "dsfid 11 afi 22 block3 03FCA504L");
        row("locked DSFID", 4, denied, "writeDsfid", "dsfid", "5A",
            error(sim::Status::AccessDenied, "ISO15693_Write_DSFID"), 0x02,
            "dsfid 11L afi 22 block3 03FCA504");
        row("locked block", 7, R"("locked": [3])", "writeBlock", "block3", "01020304",
            error(sim::Status::AccessDenied, "ISO15693_Write"), 0x06, "dsfid 11 afi 22 block3 03FCA504L");
    }
    void writesAndLocksUseTheFlagsOfTheTagsMaker() {
        QFETCH(int, maker);
        QFETCH(QString, more);
        QFETCH(QString, button);
        QFETCH(QString, input);
        QFETCH(QString, value);
        QFETCH(QString, result);
        QFETCH(int, flags);
        QFETCH(QString, after);
        // The locked member replaces the default one.
        QString field = tag(maker, more);
        if (more.contains("locked\"")) field.replace("\"locked\": [1, 27] ,", "");
        RunningTool tool(field.toUtf8().constData());
        tool.app->mainFrame()->OnCardType(kPage);
        tool.click("inventory");
        auto* list = tool.find<QComboBox>("blockNumber");
        QCOMPARE(list->count(), CIso15693Dlg::kBlocks);
        list->setCurrentIndex(3);
        if (!input.isEmpty()) tool.find<QLineEdit>(input)->setText(value);
        tool.click(button);
        QCOMPARE(tool.resultText(), result);
        QCOMPARE(onTag(tool, [](sim::Iso15693Tag& t) { return int(t.lastFlags()); }), flags);
        const QString state = onTag(tool, [](sim::Iso15693Tag& t) {
            const auto mark = [](bool locked) { return locked ? QStringLiteral("L") : QString(); };
            return QStringLiteral("dsfid %1%2 afi %3%4 block3 %5%6")
                .arg(hex({t.dsfid()}), mark(t.dsfidLocked()), hex({t.afi()}), mark(t.afiLocked()),
                     hex(t.block(3)), mark(t.blockLocked(3)));
        });
        QCOMPARE(state, after);
    }

    void refusedInputSendsNothing_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("uid");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("box");
        const char* whole = "0102030405060708";
        for (const char* button :
             {"writeDsfid", "lockDsfid", "writeAfi", "lockAfi", "read", "writeBlock", "lockBlock"})
            row(qPrintable(QString(button) + ", 7-byte UID"), button, "01020304050607", "", "",
                "UID input Error");
        row("empty DSFID", "writeDsfid", whole, "dsfid", "", "Please input data in DSFID field");
        row("empty AFI", "writeAfi", whole, "afi", "", "Please input data in AFI field");
        row("3-byte block", "writeBlock", whole, "block0", "010203",
            "Please input 4 bytes data in the block");
        for (const char* button : {"inventory", "getInformation", "read", "lockBlock"})
            row(qPrintable(QString(button) + ", not connected"), button, whole, "", "", "");
    }
    void refusedInputSendsNothing() {
        QFETCH(QString, button);
        QFETCH(QString, uid);
        QFETCH(QString, input);
        QFETCH(QString, value);
        QFETCH(QString, box);
        RunningTool tool(tag(4).toUtf8().constData());
        tool.app->mainFrame()->OnCardType(kPage);
        if (box.isEmpty()) tool.app->mainFrame()->OnDisconnect();
        tool.find<QLineEdit>("uid")->setText(uid);
        tool.find<QLineEdit>("block5")->setText("CAFE");
        if (!input.isEmpty()) tool.find<QLineEdit>(input)->setText(value);
        const std::size_t requests = tool.sim.requests();
        tool.click(button);
        QCOMPARE(tool.sim.requests(), requests);
        if (box.isEmpty()) {
            QCOMPARE(tool.resultText(), QString("Error: Device unconnected!"));
            QVERIFY(tool.boxes.shown.isEmpty());
        } else {
            QCOMPARE(tool.boxes.shown.size(), 1);
            QCOMPARE(tool.boxes.shown[0].text, box);
            QCOMPARE(tool.boxes.shown[0].caption, QString("Error"));
        }
        QCOMPARE(text(tool, "block5"), QString("CAFE"));
    }

    void gridIsLaidOutForTheScreenWidth() {
        RunningTool tool;
        tool.app->mainFrame()->OnCardType(kPage);
        auto* page = qobject_cast<CIso15693Dlg*>(tool.page());
        QCOMPARE(page->geometry(), tool.app->mainFrame()->view()->rect());
        QCOMPARE(tool.find<QLineEdit>("uid")->maxLength(), 16);
        QCOMPARE(tool.find<QLineEdit>("dsfid")->maxLength(), 2);

        page->resize(1000, 600);
        auto* controls = page->findChild<QWidget*>("controls");
        page->layOutFor(1024);
        QVERIFY(qAbs(controls->geometry().center().y() - 300) <= 1);
        page->layOutFor(800);
        QCOMPARE(controls->y(), 10);

        const auto at = [&](const QString& name) { return page->findChild<QWidget*>(name)->geometry(); };
        for (int column = 0; column < 4; ++column) {
            const int first = 16 * column;
            QVERIFY(at(QStringLiteral("blockLabel%1").arg(first)).left() > controls->geometry().right());
            // Rows as tall as the style's fields, 18 pixels at least, 4 apart.
            const int rowHeight = std::max(18, page->findChild<QWidget*>("block0")->sizeHint().height());
            QCOMPARE(at(QStringLiteral("block%1").arg(first + 15)).top() -
                         at(QStringLiteral("block%1").arg(first)).top(),
                     15 * (rowHeight + 4));
            QCOMPARE(at(QStringLiteral("block%1").arg(first)).height(), rowHeight);
            QCOMPARE(at(QStringLiteral("blockHeader%1").arg(column)).left(),
                     at(QStringLiteral("block%1").arg(first)).left());
            if (column > 0)
                QVERIFY(at(QStringLiteral("blockLabel%1").arg(first)).left() >
                        at(QStringLiteral("status%1").arg(first - 1)).right());
        }
        const QRect data = at("block0"), status = at("status0"), label = at("blockLabel0");
        QCOMPARE(status.width(), 20);
        QCOMPARE(label.width(), 20);
        QVERIFY(label.right() < data.left() && data.right() < status.left());
        QVERIFY(at("status63").right() < 1000);
        QCOMPARE(tool.find<QLineEdit>("block63")->maxLength(), 8);
        QCOMPARE(tool.find<QLineEdit>("status63")->maxLength(), 2);
    }
};

OSKELLE_TEST(Iso15693PageTest);
#include "iso15693_page_test.moc"
