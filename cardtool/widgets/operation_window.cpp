#include "widgets/operation_window.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <algorithm>

#include "widgets/control_helpers.h"
#include "widgets/hex_edit.h"
#include "widgets/number_format.h"

using controls::caption;
using controls::partName;

OperationWindow::OperationWindow(const WindowLayout& layout, std::function<void()> onRead,
                                 std::function<void()> onWrite, QWidget* parent)
    : QGroupBox(QStringLiteral("Operation Window"), parent), layout_(layout), sectors_(new QComboBox(this)),
      writeBlocks_(new QComboBox(this)), keyA_(controls::radio("A Key", partName(layout.name, "KeyA"), this)),
      key_(new HexEdit(this, layout.keyBytes)),
      write_(controls::button("Write Card", partName(layout.name, "WriteCard"), this)) {
    setObjectName(layout.name);
    sectors_->setObjectName(partName(layout.name, "Sector"));
    writeBlocks_->setObjectName(partName(layout.name, "WriteBlock"));
    key_->setObjectName(partName(layout.name, "Key"));
    for (int sector = 0; sector < layout.sectors; ++sector)
        sectors_->addItem(FormatNumber(layout.sectorFormat, sector), sector);
    for (int block = 0; block < kBlocks; ++block)
        writeBlocks_->addItem(FormatNumber(layout.blockFormat, block), block);
    keyA_->setChecked(true);
    key_->setText(QString(2 * layout.keyBytes, u'F'));

    auto* grid = new QGridLayout(this);
    grid->addWidget(caption("Sector", sectors_, this), 0, 0);
    grid->addWidget(sectors_, 0, 1, Qt::AlignLeft);
    for (int block = 0; block < 3; ++block) {
        blocks_[block] = new HexEdit(this, kBlockSize);
        blocks_[block]->setObjectName(partName(layout.name, QStringLiteral("Block%1").arg(block)));
        blocks_[block]->setMinimumWidth(240);
        grid->addWidget(caption(QStringLiteral("Block%1").arg(block), blocks_[block], this), block + 1, 0);
        grid->addWidget(blocks_[block], block + 1, 1);
    }
    auto* trailer = new QHBoxLayout;
    const char* const kTrailerParts[] = {"TrailerKeyA", "TrailerAccess", "TrailerKeyB"};
    for (int i = 0; i < 3; ++i) {
        trailer_[i] = new HexEdit(this, layout.trailer[i]);
        trailer_[i]->setObjectName(partName(layout.name, kTrailerParts[i]));
        trailer->addWidget(trailer_[i], layout.trailer[i]);
    }
    grid->addWidget(caption("Block3", trailer_[0], this), 4, 0);
    grid->addLayout(trailer, 4, 1);

    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(keyA_);
    keyRow->addWidget(controls::radio("B Key", partName(layout.name, "KeyB"), this));
    keyRow->addWidget(caption("Key", key_, this));
    keyRow->addWidget(key_, 1);
    grid->addLayout(keyRow, 5, 0, 1, 2);

    auto* actions = new QHBoxLayout;
    actions->addWidget(caption("Write Block", writeBlocks_, this));
    actions->addWidget(writeBlocks_);
    auto* read = controls::button("Read Card", partName(layout.name, "ReadCard"), this);
    actions->addWidget(read);
    actions->addWidget(write_);
    grid->addLayout(actions, 6, 0, 1, 2);

    connect(read, &QPushButton::clicked, this, [onRead = std::move(onRead)] { onRead(); });
    connect(write_, &QPushButton::clicked, this, [onWrite = std::move(onWrite)] { onWrite(); });
    connect(sectors_, &QComboBox::currentIndexChanged, this, [this] { choiceChanged(); });
    connect(writeBlocks_, &QComboBox::currentIndexChanged, this, [this] { choiceChanged(); });
}

int OperationWindow::sector() const { return sectors_->currentData().toInt(); }
int OperationWindow::writeBlock() const { return writeBlocks_->currentData().toInt(); }
bool OperationWindow::keyA() const { return keyA_->isChecked(); }

void OperationWindow::clearData() {
    for (HexEdit* field : blocks_)
        field->clear();
    for (HexEdit* field : trailer_)
        field->clear();
}

void OperationWindow::showBlock(int block, const unsigned char data[kBlockSize]) {
    if (block < 3) {
        blocks_[block]->showBytes(data, kBlockSize);
        return;
    }
    int offset = 0;
    for (int i = 0; i < 3; ++i) {
        trailer_[i]->showBytes(data + offset, layout_.trailer[i]);
        offset += layout_.trailer[i];
    }
}

void OperationWindow::blockData(int block, unsigned char data[kBlockSize]) const {
    std::fill(data, data + kBlockSize, 0);
    if (block < 3) {
        blocks_[block]->copyBytes(data, kBlockSize);
        return;
    }
    int offset = 0;
    for (int i = 0; i < 3; ++i) {
        trailer_[i]->copyBytes(data + offset, layout_.trailer[i]);
        offset += layout_.trailer[i];
    }
}

void OperationWindow::guardManufacturerBlock(std::function<bool()> applies) {
    guard_ = std::move(applies);
    refreshWriteEnabled();
}

void OperationWindow::refreshWriteEnabled() { write_->setEnabled(sector() != 0 || writeBlock() != 0); }

void OperationWindow::choiceChanged() {
    if (guard_ && guard_()) refreshWriteEnabled();
}

void OperationWindow::nameParts() {
    const QString block3 = trailer_[0]->accessibleName();
    trailer_[1]->setAccessibleName(block3 + QStringLiteral(" (access bits)"));
    trailer_[2]->setAccessibleName(block3 + QStringLiteral(" (key B)"));
}
