#include "pages/st_pages.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTabBar>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "chrome/accessible_names.h"
#include "pages/search_sequence.h"
#include "services/app_context.h"
#include "services/message_boxes.h"

namespace {

constexpr int kChipIdBytes = 1;
constexpr int kLockBytes = 1;

// The area of the SRIX4K block grid: a plain widget whose children the page
// places itself whenever the area changes size.
class GridArea : public QWidget {
  public:
    GridArea(QWidget* parent, std::function<void()> place) : QWidget(parent), place_(std::move(place)) {}

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        place_();
    }

  private:
    std::function<void()> place_;
};

} // namespace

// ---- shared -----------------------------------------------------------------

StTagPage::StTagPage(AppContext& app, QWidget* parent, int blockSize, const QString& lockCaption)
    : CardPage(app, parent), blockSize_(blockSize), chipId_(makeHex("chipId", kChipIdBytes)),
      blockList_(makeList("blockAddress")), lockRegister_(makeHex("lockRegister", kLockBytes)),
      lockLabel_(makeLabel(lockCaption, lockRegister_)),
      searchButton_(makeButton("Search Card", "searchCard", [this] { search(); })),
      readButton_(makeButton("Read Card", "readCard", [this] { readCard(); })),
      writeButton_(makeButton("Write Card", "writeCard", [this] { writeCard(); })),
      lockButton_(makeButton("Lock Block", "lockBlock", [this] { lockBlock(); })) {}

BlockGrid& StTagPage::makeBlocks(QWidget* host, int count, const QString& caption) {
    blocks_ = std::make_unique<BlockGrid>(
        host,
        BlockGrid::Rows{.count = count, .bytes = blockSize_, .fieldName = "block%d", .caption = caption});
    return *blocks_;
}

void StTagPage::search() {
    chipId_->clear();
    if (!requireConnection()) return;
    unsigned char chipId = 0;
    const ReaderApi& a = api();
    const unsigned short dev = icdev();
    const bool found = RunSearch(result(), 2,
                                 {{"rf_antenna_sta", 0, [&] { return a.rf_antenna_sta(dev, 0); }},
                                  {"rf_init_type", 0, [&] { return a.rf_init_type(dev, 's'); }},
                                  {"rf_antenna_sta", 10, [&] { return a.rf_antenna_sta(dev, 1); }},
                                  {"rf_st_select", 0, [&] { return a.rf_st_select(dev, &chipId); }}});
    if (!found) return;
    blocks_->clear();
    chipId_->showBytes(&chipId, kChipIdBytes);
    result().ShowSuccess("Search card successfully");
}

void StTagPage::readCard() {
    blocks_->clear();
    if (!requireConnection()) return;
    unsigned char data[256] = {};
    for (int block = 0; block < blocks_->count(); ++block) {
        unsigned char length = 0;
        const int code = readBlock(static_cast<unsigned char>(block), data, &length);
        if (!report(code, QStringLiteral("Read Block: %1 failed!").arg(block), QString(),
                    length != blockSize_)) {
            return;
        }
        blocks_->showRow(block, data);
    }
    result().ShowSuccess("Read card successfully");
}

void StTagPage::writeCard() {
    if (!requireConnection()) return;
    const int block = blockList_->currentData().toInt();
    // Anything but a whole block does nothing: no message, no card access.
    if (block < 0 || block >= blocks_->count() || !blocks_->whole(block)) return;
    unsigned char data[8] = {};
    blocks_->copyRow(block, data);
    const int code = writeBlock(static_cast<unsigned char>(block), data);
    if (code != 0)
        result().ShowResult(code, writeFunction());
    else
        result().ShowSuccess("Write card successfully");
}

void StTagPage::lockBlock() {
    if (!requireConnection()) return;
    if (lockRegister_->byteCount() != kLockBytes) return;
    if (!boxes().confirm(this, "Do you really need to lock block?", "Warning", MessageBoxes::Question))
        return;
    unsigned char value = 0;
    lockRegister_->copyBytes(&value, kLockBytes);
    const int code = writeLock(value);
    if (code != 0)
        result().ShowResult(code, lockFunction());
    else
        result().ShowSuccess("Lock block success");
}

// ---- SR176 ------------------------------------------------------------------

CSr176Dlg::CSr176Dlg(AppContext& app, QWidget* parent) : StTagPage(app, parent, 2, "Lock_REG") {
    auto* controls = new QGridLayout;
    controls->addWidget(makeLabel("Chip - ID", chipId_), 0, 0);
    controls->addWidget(chipId_, 0, 1);
    controls->addWidget(searchButton_, 0, 2);
    controls->addWidget(makeLabel("Block Address", blockList_), 1, 0);
    controls->addWidget(blockList_, 1, 1);
    controls->addWidget(readButton_, 1, 2);
    controls->addWidget(writeButton_, 1, 3);
    controls->addWidget(lockLabel_, 2, 0);
    controls->addWidget(lockRegister_, 2, 1);
    controls->addWidget(makeButton("Read Lock Reg", "readLockReg", [this] { readLockRegister(); }), 2, 2);
    controls->addWidget(lockButton_, 2, 3);
    controls->setRowStretch(3, 1);
    chipId_->setFixedWidth(90);
    lockRegister_->setFixedWidth(90);

    // Blocks 0-3 hold the UID and block 15 the lock register: never written here.
    for (int block = 4; block <= 14; ++block)
        blockList_->addItem(QString::number(block), block);
    blockList_->setCurrentIndex(0);

    auto* header = new QLabel("Byte1-Byte0", this);
    header->setObjectName("blockHeader");
    QGridLayout* grid = makeBlocks(this, kBlocks, "Block%d").columns(kBlocks, 70, header);

    auto* form = new QHBoxLayout(this);
    form->addLayout(controls);
    form->addSpacing(40);
    form->addLayout(grid);

    // The register is shown as a 32-bit value, wider than the one byte that is
    // typed; the field takes one byte again once cut back to it.
    connect(lockRegister_, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.size() <= 2 * kLockBytes) lockRegister_->setWidthBytes(kLockBytes);
    });
    finishInit();
}

int CSr176Dlg::readBlock(unsigned char block, unsigned char* data, unsigned char* length) {
    return api().rf_sr176_readblock(icdev(), block, data, length);
}

int CSr176Dlg::writeBlock(unsigned char block, unsigned char* data) {
    return api().rf_sr176_writeblock(icdev(), block, data);
}

int CSr176Dlg::writeLock(unsigned char value) { return api().rf_sr176_protectblock(icdev(), value); }

void CSr176Dlg::readLockRegister() {
    if (!requireConnection()) return;
    unsigned char reg = 0;
    const int code = api().rf_sr176_getprotectreg(icdev(), &reg);
    if (code != 0) {
        result().ShowResult(code, "rf_sr176_getprotectreg");
        return;
    }
    lockRegister_->setWidthBytes(4);
    lockRegister_->showValueBytes(reg);
    result().ShowSuccess(QString::fromUtf8("rf_sr176_getprotectreg 成功"));
}

// ---- SRIX4K -----------------------------------------------------------------

CSrix4kDlg::CSrix4kDlg(AppContext& app, QWidget* parent)
    : StTagPage(app, parent, 4, "Lock - REG"), uid_(makeHex("uid", 8)) {
    // "UID" is the same in every language: its caption is set after translation.
    auto* uidLabel = makeLabel(QString(), uid_);
    auto* controls = new QGridLayout;
    controls->addWidget(makeLabel("Chip - ID", chipId_), 0, 0);
    controls->addWidget(chipId_, 0, 1);
    controls->addWidget(searchButton_, 0, 2);
    controls->addWidget(uidLabel, 0, 4);
    controls->addWidget(uid_, 0, 5);
    controls->addWidget(makeButton("Read UID", "readUid", [this] { readUid(); }), 0, 6);
    controls->addWidget(makeLabel("Block", blockList_), 1, 0);
    controls->addWidget(blockList_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(readButton_);
    buttons->addWidget(writeButton_);
    controls->addLayout(buttons, 1, 2);
    controls->addWidget(lockLabel_, 1, 4);
    controls->addWidget(lockRegister_, 1, 5);
    controls->addWidget(lockButton_, 1, 6);
    controls->setColumnMinimumWidth(3, 30);
    controls->setColumnStretch(7, 1);
    uid_->setMinimumWidth(170);

    for (int block = 0; block < kBlocks; ++block)
        blockList_->addItem(QString::number(block), block);
    blockList_->setCurrentIndex(0);

    tabs_ = new QTabBar(this);
    tabs_->setObjectName("blockViews");
    tabs_->setExpanding(false);
    grid_ = new GridArea(this, [this] { placeGrid(); });
    grid_->setObjectName("blockGrid");

    auto* form = new QVBoxLayout(this);
    form->addLayout(controls);
    form->addSpacing(8);
    form->addWidget(tabs_);
    form->addWidget(grid_, 1);

    finishInit();
    // The grid is made in code, its captions in the active language.
    buildGrid();
    uidLabel->setText(QStringLiteral("UID"));
    nameControls(this);
    connect(tabs_, &QTabBar::currentChanged, this, &CSrix4kDlg::showView);
    showView(0);
}

void CSrix4kDlg::buildGrid() {
    tabs_->addTab(app_.Translate("First Page"));
    tabs_->addTab(app_.Translate("Second Page"));
    BlockGrid& blocks = makeBlocks(grid_, kBlocks, app_.Translate("Block%d"));
    blocks.addHeaders(kColumns, app_.Translate("Byte3...Byte0"));
    for (int column = 0; column < kColumns; ++column)
        blocks.headers()[column]->setProperty("controlId", kHeaderId + column);
    for (int block = 0; block < kBlocks; ++block) {
        blocks.field(block)->setProperty("controlId", kFieldId + block);
        blocks.caption(block)->setProperty("controlId", kLabelId + block);
    }
}

int CSrix4kDlg::currentView() const { return tabs_->currentIndex(); }

void CSrix4kDlg::showView(int view) {
    if (tabs_->currentIndex() != view) {
        tabs_->setCurrentIndex(view); // comes back here through currentChanged
        return;
    }
    blocks_->showRows(view * kBlocksPerView, kBlocksPerView);
}

void CSrix4kDlg::layOutFor(int screenWidth) {
    screenWidth_ = screenWidth;
    if (layout() != nullptr) layout()->activate();
    placeGrid();
}

// Four columns of sixteen blocks, each column under its header: as wide as
// the page allows, but never wider than the screen.
void CSrix4kDlg::placeGrid() {
    if (grid_ == nullptr || !blocks_) return;
    const QFontMetrics metrics(font());
    const int fieldHeight = blocks_->field(0)->sizeHint().height();
    int labelWidth = 0;
    for (int block = 0; block < kBlocks; ++block)
        labelWidth = std::max(labelWidth, metrics.horizontalAdvance(blocks_->caption(block)->text()));
    labelWidth += 8;
    const int fieldWidth = metrics.horizontalAdvance(QStringLiteral("DDDDDDDD")) + 16;

    int usable = grid_->width();
    if (screenWidth_ > 0) usable = std::min(usable, screenWidth_ - grid_->mapTo(this, QPoint()).x());
    const int headerHeight = metrics.height() + 6;
    blocks_->place({.columns = kColumns,
                    .perColumn = kRowsPerColumn,
                    .columnPitch = std::max(usable / kColumns, labelWidth + fieldWidth + 4),
                    .captionWidth = labelWidth,
                    .dataWidth = fieldWidth,
                    .rowHeight = fieldHeight,
                    .rowPitch = std::clamp((grid_->height() - headerHeight) / kRowsPerColumn, fieldHeight + 1,
                                           fieldHeight + 8),
                    .rowsTop = headerHeight,
                    .headerWidth = fieldWidth + 20,
                    .headerHeight = headerHeight});
}

void CSrix4kDlg::readUid() {
    if (!requireConnection()) return;
    unsigned char uid[256] = {};
    unsigned char length = 0;
    const int code = api().rf_srix4k_getuid(icdev(), uid, &length);
    if (code != 0) {
        result().ShowResult(code, "rf_srix4k_getuid");
        return;
    }
    uid_->showBytes(uid, length);
    result().ShowSuccess("Read UID success");
}

int CSrix4kDlg::readBlock(unsigned char block, unsigned char* data, unsigned char* length) {
    return api().rf_srix4k_readblock(icdev(), block, data, length);
}

int CSrix4kDlg::writeBlock(unsigned char block, unsigned char* data) {
    return api().rf_srix4k_writeblock(icdev(), block, data);
}

int CSrix4kDlg::writeLock(unsigned char value) { return api().rf_srix4k_writelockreg(icdev(), value); }
