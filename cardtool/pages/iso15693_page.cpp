#include "pages/iso15693_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "services/app_context.h"
#include "services/message_boxes.h"

namespace {

// The library's own code for an answer of the wrong length. A call that
// returns 0 with too few bytes is a failure and must not read as success.
constexpr int kBlockSize = 4;
constexpr int kColumns = 4;
constexpr int kRowsPerColumn = CIso15693Dlg::kBlocks / kColumns;

// Grid geometry, in pixels.
constexpr int kMargin = 10;
constexpr int kRowHeight = 18; // the least; a style with taller fields gets taller rows
constexpr int kRowGap = 4;
constexpr int kNarrowWidth = 20; // block numbers and status fields
constexpr int kGap = 4;
constexpr int kColumnGap = 12;

// Reads use the request flags 0x02 (high data rate) and no option flag: data only.
constexpr unsigned char kReadFlags = 0x02;

} // namespace

CIso15693Dlg::CIso15693Dlg(AppContext& app, QWidget* parent)
    : CardPage(app, parent), controls_(new QWidget(this)), uid_(makeHex("uid", 8)),
      dsfid_(makeHex("dsfid", 1)), afi_(makeHex("afi", 1)), block_(makeList("blockNumber")),
      blocks_(this, {.count = kBlocks,
                     .bytes = kBlockSize,
                     .fieldName = "block%d",
                     .caption = "%d",
                     .captionName = "blockLabel%d",
                     .captionAlignment = Qt::AlignRight | Qt::AlignVCenter,
                     .status = true}) {
    controls_->setObjectName("controls");
    for (int block = 0; block < kBlocks; ++block)
        block_->addItem(QString::number(block), block);
    uid_->setMinimumWidth(150);
    for (HexEdit* field : {dsfid_, afi_})
        field->setMaximumWidth(40);

    auto* left = new QGridLayout(controls_);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(makeLabel("UID", uid_), 0, 0);
    left->addWidget(uid_, 0, 1, 1, 3);
    left->addWidget(makeButton("Inventory", "inventory", [this] { inventory(); }), 1, 1);
    left->addWidget(makeButton("Get Infomation", "getInformation", [this] { getInformation(); }), 1, 2, 1, 2);
    addByteRow(left, 2, "DSFID", dsfid_, "Please input data in DSFID field", &ReaderApi::ISO15693_Write_DSFID,
               &ReaderApi::ISO15693_Lock_DSFID);
    addByteRow(left, 3, "AFI", afi_, "Please input data in AFI field", &ReaderApi::ISO15693_Write_AFI,
               &ReaderApi::ISO15693_Lock_AFI);
    left->addWidget(makeLabel("Block", block_), 4, 0);
    left->addWidget(block_, 4, 1);
    left->addWidget(makeButton("Write", "writeBlock", [this] { writeBlock(); }), 4, 2);
    left->addWidget(makeButton("Lock", "lockBlock", [this] { lockBlock(); }), 4, 3);
    left->addWidget(makeButton("Read", "read", [this] { read(); }), 5, 1, 1, 3);

    // The grid is made here rather than laid out by a form: 64 rows of block
    // number, data and security status, in four columns placed by layOutFor.
    blocks_.addHeaders(kColumns, "Block", "Status");
    finishInit();
    for (int block = 0; block < kBlocks; ++block) {
        const QString number = QString::number(block);
        blocks_.field(block)->setAccessibleName(
            app_.Translate("Block %d").replace(QLatin1String("%d"), number));
        blocks_.status(block)->setAccessibleName(app_.Translate("Status") + QLatin1Char(' ') + number);
    }
}

void CIso15693Dlg::addByteRow(QGridLayout* grid, int row, const QString& name, HexEdit* field,
                              const QString& emptyText, ByteWrite write, Lock lockCall) {
    const QString stem = name.left(1) + name.mid(1).toLower(); // "Dsfid", "Afi"
    grid->addWidget(makeLabel(name, field), row, 0);
    grid->addWidget(field, row, 1);
    grid->addWidget(makeButton("Write", "write" + stem,
                               [=, this] { writeByte(field, emptyText, "ISO15693_Write_" + name, write); }),
                    row, 2);
    grid->addWidget(makeButton("Lock", "lock" + stem, [=, this] { lock("ISO15693_Lock_" + name, lockCall); }),
                    row, 3);
}

void CIso15693Dlg::inventory() {
    search({"ISO15693_Inventory", 9, 0, -1}, [this](unsigned char* answer, unsigned char* length) {
        return api().ISO15693_Inventory(icdev(), answer, length);
    });
}

void CIso15693Dlg::getInformation() {
    search({"ISO15693_Get_System_Information", 12, 9, 10},
           [this](unsigned char* answer, unsigned char* length) {
               // Not addressed (flags 0): the UID is not sent to the tags.
               unsigned char anyTag[8] = {};
               return api().ISO15693_Get_System_Information(icdev(), 0x00, anyTag, answer, length);
           });
}

void CIso15693Dlg::layOutFor(int screenWidth) {
    const QSize left = controls_->sizeHint();
    const int top = screenWidth >= 1024 ? std::max(kMargin, (height() - left.height()) / 2) : kMargin;
    controls_->setGeometry(kMargin, top, left.width(), left.height());

    const int gridLeft = kMargin + left.width() + 2 * kMargin;
    const int minimumColumn = 2 * kNarrowWidth + 2 * kGap + kColumnGap + 60;
    const int columnWidth = std::max(minimumColumn, (width() - kMargin - gridLeft) / kColumns);
    const int dataWidth = columnWidth - 2 * kNarrowWidth - 2 * kGap - kColumnGap;
    const int rowHeight = std::max(kRowHeight, blocks_.field(0)->sizeHint().height());
    // The block header leaves room for the wider status header beside it.
    blocks_.place({.left = gridLeft,
                   .top = kMargin,
                   .columns = kColumns,
                   .perColumn = kRowsPerColumn,
                   .columnPitch = columnWidth,
                   .captionWidth = kNarrowWidth,
                   .gap = kGap,
                   .dataWidth = dataWidth,
                   .statusWidth = kNarrowWidth,
                   .rowHeight = rowHeight,
                   .rowPitch = rowHeight + kRowGap,
                   .rowsTop = kMargin + rowHeight + kRowGap,
                   .headerWidth = dataWidth - kNarrowWidth,
                   .headerHeight = rowHeight});
}

void CIso15693Dlg::report(int code, const QString& function) {
    CardPage::report(code, function, function + QStringLiteral(" successful"));
}

void CIso15693Dlg::search(const SearchAnswer& shape,
                          const std::function<int(unsigned char*, unsigned char*)>& call) {
    longTag_ = true;
    if (!requireConnection("Device unconnected!")) return;
    uid_->clear();
    dsfid_->clear();
    afi_->clear();
    blocks_.clear();
    int code = api().rf_init_type(icdev(), '1');
    if (code != 0) {
        result().ShowResult(code, "rf_init_type");
        return;
    }
    unsigned char answer[256] = {};
    unsigned char length = 0;
    code = call(answer, &length);
    if (!CardPage::report(code, shape.function, QString(), length < shape.minLength)) return;
    uid_->showBytes(answer + 1, 8);
    dsfid_->showBytes(answer + shape.dsfidAt, 1);
    if (shape.afiAt >= 0) afi_->showBytes(answer + shape.afiAt, 1);
    // UID byte 6 is the maker's code; maker 0x04 makes the 28-block tags.
    if (answer[1 + 6] == 0x04) longTag_ = false;
    report(0, shape.function);
}

bool CIso15693Dlg::addressed(unsigned char uid[8]) {
    if (!requireConnection("Device unconnected!")) return false;
    if (uid_->byteCount() < 8) {
        boxes().error(this, "UID input Error");
        return false;
    }
    uid_->copyBytes(uid, 8);
    return true;
}

void CIso15693Dlg::writeByte(HexEdit* field, const QString& emptyText, const QString& function,
                             ByteWrite write) {
    unsigned char uid[8] = {};
    if (!addressed(uid)) return;
    const QByteArray value = field->bytes();
    if (value.isEmpty()) {
        boxes().error(this, emptyText);
        return;
    }
    report((api().*write)(icdev(), writeFlags(), uid, static_cast<unsigned char>(value[0])), function);
}

void CIso15693Dlg::lock(const QString& function, Lock call) {
    unsigned char uid[8] = {};
    if (!addressed(uid)) return;
    report((api().*call)(icdev(), writeFlags(), uid), function);
}

void CIso15693Dlg::read() {
    unsigned char uid[8] = {};
    if (!addressed(uid)) return;
    blocks_.clear();
    // Fourteen blocks of data fill an answer frame; security bytes come 28 at a time.
    static constexpr Chunk kLongData[] = {{0, 14}, {14, 14}, {28, 14}, {42, 14}, {56, 8}};
    static constexpr Chunk kShortData[] = {{0, 14}, {14, 14}};
    static constexpr Chunk kLongSecurity[] = {{0, 28}, {28, 28}, {56, 8}};
    static constexpr Chunk kShortSecurity[] = {{0, 28}};
    const bool done = longTag_ ? readData(uid, kLongData) && readSecurity(uid, kLongSecurity)
                               : readData(uid, kShortData) && readSecurity(uid, kShortSecurity);
    if (done) result().ShowSuccess("Successful");
}

bool CIso15693Dlg::readData(unsigned char* uid, std::span<const Chunk> chunks) {
    for (const Chunk& chunk : chunks) {
        unsigned char data[256] = {};
        unsigned char length = 0;
        const int code =
            api().ISO15693_Read(icdev(), kReadFlags, uid, static_cast<unsigned char>(chunk.first),
                                static_cast<unsigned char>(chunk.count), data, &length);
        if (!CardPage::report(code, "ISO15693_Read", QString(), length < kBlockSize * chunk.count))
            return false;
        for (int k = 0; k < chunk.count; ++k)
            blocks_.showRow(chunk.first + k, data + kBlockSize * k);
    }
    return true;
}

bool CIso15693Dlg::readSecurity(unsigned char* uid, std::span<const Chunk> chunks) {
    for (const Chunk& chunk : chunks) {
        unsigned char status[256] = {};
        unsigned char length = 0;
        const int code = api().ISO15693_Get_Block_Security(
            icdev(), kReadFlags, uid, static_cast<unsigned char>(chunk.first),
            static_cast<unsigned char>(chunk.count), status, &length);
        if (!CardPage::report(code, "ISO15693_Get_Block_Security", QString(), length != chunk.count))
            return false;
        for (int k = 0; k < chunk.count; ++k)
            blocks_.status(chunk.first + k)->showBytes(status + k, 1);
    }
    return true;
}

void CIso15693Dlg::writeBlock() {
    unsigned char uid[8] = {};
    if (!addressed(uid)) return;
    const int block = block_->currentIndex();
    if (!blocks_.whole(block)) {
        boxes().error(this, "Please input 4 bytes data in the block");
        return;
    }
    unsigned char data[kBlockSize] = {};
    blocks_.copyRow(block, data);
    report(api().ISO15693_Write(icdev(), writeFlags(), uid, static_cast<unsigned char>(block), data),
           "ISO15693_Write");
}

void CIso15693Dlg::lockBlock() {
    unsigned char uid[8] = {};
    if (!addressed(uid)) return;
    report(api().ISO15693_Lock_Block(icdev(), writeFlags(), uid,
                                     static_cast<unsigned char>(block_->currentIndex())),
           "ISO15693_Lock_Block");
}
