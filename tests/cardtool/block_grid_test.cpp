// The block grid on its own: what a row's fields hold reaches the card at the
// row's byte offsets, and a row that is not whole is told apart, split or not.
#include <QTest>
#include <QWidget>

#include "table_row.h"
#include "tool_fixture.h"
#include "widgets/block_grid.h"

using namespace tooltest;

class BlockGridTest : public QObject {
    Q_OBJECT
  private slots:
    void rowsReadBackAtTheirPlaces_data() {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QByteArray>("bytes");
        // Row 0 is split 6 + 2; the others are one 8-byte field.
        row("split, whole", 0, "112233445566", "7788", true, QByteArray::fromHex("1122334455667788"));
        row("split, short second part", 0, "112233445566", "77", false,
            QByteArray::fromHex("1122334455667700"));
        row("split, short first part", 0, "1122", "7788", false, QByteArray::fromHex("1122000000007788"));
        row("one field, whole", 1, "0102030405060708", "", true, QByteArray::fromHex("0102030405060708"));
        row("one field, short", 1, "0102", "", false, QByteArray::fromHex("0102000000000000"));
    }
    void rowsReadBackAtTheirPlaces() {
        QFETCH(int, row);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QWidget host;
        BlockGrid grid(
            &host,
            {.count = 2, .bytes = 8, .fieldName = "page%d", .caption = "Page%d", .firstPart = [](int n) {
                 return n == 0 ? 6 : 8;
             }});
        QCOMPARE(grid.second(1), nullptr);
        grid.field(row)->setText(first);
        if (grid.second(row) != nullptr) grid.second(row)->setText(second);
        QTEST(grid.whole(row), "whole");
        QByteArray data(8, '\0');
        grid.copyRow(row, reinterpret_cast<unsigned char*>(data.data()));
        QTEST(data, "bytes");

        // Shown back, the row holds the same bytes; cleared, it holds none.
        grid.showRow(row, reinterpret_cast<const unsigned char*>(data.constData()));
        QByteArray again(8, '\x55');
        grid.copyRow(row, reinterpret_cast<unsigned char*>(again.data()));
        QCOMPARE(again, data);
        grid.clear();
        QVERIFY(grid.field(row)->text().isEmpty());
    }
};

OSKELLE_TEST(BlockGridTest);
#include "block_grid_test.moc"
