#include "widgets/purse_group.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <algorithm>

#include "widgets/control_helpers.h"
#include "widgets/hex_edit.h"
#include "widgets/number_format.h"

namespace {
constexpr int kValueBytes = 4;
} // namespace

using controls::caption;
using controls::partName;

PurseGroup::PurseGroup(const PurseLayout& layout, std::function<void(PurseOp)> onButton, QWidget* parent)
    : QGroupBox(QStringLiteral("Purse Function"), parent), layout_(layout), sectors_(new QComboBox(this)),
      blocks_(new QComboBox(this)), keyA_(controls::radio("A Key", partName(layout.name, "KeyA"), this)),
      key_(new HexEdit(this, layout.keyBytes)), decimal_(new DigitEdit(this)),
      bytes_(new HexEdit(this, kValueBytes)) {
    setObjectName(layout.name);
    sectors_->setObjectName(partName(layout.name, "Sector"));
    blocks_->setObjectName(partName(layout.name, "Block"));
    key_->setObjectName(partName(layout.name, "Key"));
    decimal_->setObjectName(partName(layout.name, "Decimal"));
    bytes_->setObjectName(partName(layout.name, "Bytes"));
    auto* keyB = controls::radio("B Key", partName(layout.name, "KeyB"), this);
    keyA_->setChecked(true);
    key_->setText(QString(2 * layout.keyBytes, u'F'));
    decimal_->setMaxLength(layout.decimalLength);
    typedLength_ = layout.decimalLength;

    for (int sector = 0; sector < layout.sectors; ++sector)
        sectors_->addItem(FormatNumber(layout.sectorFormat, sector), sector);
    fillBlocks();
    connect(sectors_, &QComboBox::currentIndexChanged, this, [this] { fillBlocks(); });
    connect(decimal_, &QLineEdit::textEdited, this, [this] { decimalEdited(); });
    connect(bytes_, &QLineEdit::textEdited, this, [this] { bytesEdited(); });

    auto* grid = new QGridLayout(this);
    grid->addWidget(caption("Sector", sectors_, this), 0, 0);
    grid->addWidget(sectors_, 0, 1);
    grid->addWidget(caption("Block", blocks_, this), 0, 2);
    grid->addWidget(blocks_, 0, 3);
    grid->addWidget(keyA_, 1, 0);
    grid->addWidget(keyB, 1, 1);
    grid->addWidget(caption("Key", key_, this), 1, 2);
    grid->addWidget(key_, 1, 3);
    grid->addWidget(caption("Data", decimal_, this), 2, 0);
    grid->addWidget(decimal_, 2, 1);
    grid->addWidget(bytes_, 2, 2, 1, 2);
    auto* buttons = new QHBoxLayout;
    const struct {
        const char* caption;
        const char* part;
        PurseOp op;
    } kButtons[] = {{"Initialize", "Initialize", PurseOp::Initialize},
                    {"Increase", "Increase", PurseOp::Increase},
                    {"Decrease", "Decrease", PurseOp::Decrease},
                    {"Balance", "Balance", PurseOp::Balance}};
    for (const auto& b : kButtons) {
        auto* button = controls::button(b.caption, partName(layout.name, b.part), this);
        connect(button, &QPushButton::clicked, this, [onButton, op = b.op] { onButton(op); });
        buttons->addWidget(button);
    }
    grid->addLayout(buttons, 3, 0, 1, 4);
    key_->setMinimumWidth(layout.keyBytes > 6 ? 240 : 110);
}

int PurseGroup::sector() const { return sectors_->currentData().toInt(); }
int PurseGroup::block() const { return blocks_->currentData().toInt(); }
bool PurseGroup::keyA() const { return keyA_->isChecked(); }

// The block list follows the sector; the block chosen before stays chosen
// where the sector offers it, else the sector's first block is.
void PurseGroup::fillBlocks() {
    const int before = blocks_->count() > 0 ? block() : -1;
    const QList<int> offered = layout_.blocksOf(sector());
    blocks_->clear();
    for (int b : offered)
        blocks_->addItem(FormatNumber(layout_.blockFormat, b), b);
    blocks_->setCurrentIndex(std::max(0, static_cast<int>(offered.indexOf(before))));
}

void PurseGroup::showValue(qint32 value) {
    showDecimal(value);
    bytes_->showValueBytes(static_cast<quint32>(value));
}

void PurseGroup::showDecimal(qint32 value) {
    const QString text = QString::number(value);
    // The length limit is for typing: a value of four bytes is shown whole,
    // and the limit comes back with the next shorter value or a clear.
    decimal_->setMaxLength(std::max(typedLength_, static_cast<int>(text.size())));
    decimal_->setText(text);
}

void PurseGroup::clearValue() {
    decimal_->clear();
    decimal_->setMaxLength(typedLength_);
    bytes_->clear();
}

void PurseGroup::decimalEdited() {
    if (linking_) return;
    linking_ = true;
    // An empty field reads as -1 and shows as FFFFFFFF, as it would be sent.
    bytes_->showValueBytes(static_cast<quint32>(decimal_->value()));
    linking_ = false;
}

void PurseGroup::bytesEdited() {
    if (linking_) return;
    linking_ = true;
    unsigned char value[kValueBytes] = {};
    bytes_->copyBytes(value, kValueBytes);
    showDecimal(PurseValue(value));
    linking_ = false;
}

void PurseGroup::nameParts() {
    bytes_->setAccessibleName(decimal_->accessibleName() + QStringLiteral(" (hex)"));
}
