#include "pages/classic_sector_ops.h"

#include "services/app_context.h"
#include "services/message_boxes.h"
#include "widgets/hex_edit.h"
#include "widgets/operation_window.h"

namespace {
constexpr int kKeyBytes = 6;
constexpr unsigned char kKeyTypeA = 0x60;
constexpr unsigned char kKeyTypeB = 0x61;
constexpr int kBeepTime = 10;
constexpr int kAccessOffset = 6; // the access bytes follow key A in a sector trailer

// Each access condition is stored twice, once inverted; a card refuses every
// later authentication of a sector whose two copies disagree.
bool accessBytesConsistent(const unsigned char trailer[OperationWindow::kBlockSize]) {
    const unsigned b6 = trailer[kAccessOffset], b7 = trailer[kAccessOffset + 1],
                   b8 = trailer[kAccessOffset + 2];
    return (b7 >> 4) == (~b6 & 0x0Fu) && (b8 & 0x0Fu) == ((~b6 >> 4) & 0x0Fu) && (b8 >> 4) == (~b7 & 0x0Fu);
}
} // namespace

ClassicSectorOps::ClassicSectorOps(AppContext& app, QWidget* owner, ClassicMessages messages,
                                   Behaviour behaviour)
    : app_(app), owner_(owner), messages_(std::move(messages)), behaviour_(std::move(behaviour)) {}

bool ClassicSectorOps::ready(const HexEdit& key, const std::function<bool()>& confirm) {
    const auto keyFits = [&] {
        if (key.byteCount() == kKeyBytes) return true;
        app_.boxes().error(owner_, messages_.keyLength);
        return false;
    };
    if (behaviour_.keyBeforeCard) return keyFits() && confirm() && behaviour_.findCard();
    return behaviour_.findCard() && keyFits() && confirm();
}

bool ClassicSectorOps::succeeded(int code, const char* function, bool shortAnswer) {
    if (ReportCall(app_.results(), code, QString::fromLatin1(function), QString(), shortAnswer)) return true;
    behaviour_.cardLost();
    return false;
}

bool ClassicSectorOps::authenticate(bool keyA, int sector, const HexEdit& key) {
    unsigned char keyBytes[kKeyBytes] = {};
    key.copyBytes(keyBytes, kKeyBytes);
    const int code =
        app_.api().rf_M1_authentication2(app_.CurrentConnection.icdev(), keyA ? kKeyTypeA : kKeyTypeB,
                                         static_cast<unsigned char>(4 * sector), keyBytes);
    return succeeded(code, "rf_M1_authentication2");
}

void ClassicSectorOps::purse(PurseGroup& group, PurseOp op) {
    const ReaderApi& api = app_.api();
    ResultSink& result = app_.results();
    if (op == PurseOp::Balance) group.clearValue();
    if (!ready(group.key(), [] { return true; })) return;
    if (!authenticate(group.keyA(), group.sector(), group.key())) return;
    const unsigned short icdev = app_.CurrentConnection.icdev();
    const auto block = static_cast<unsigned char>(group.address());

    if (op == PurseOp::Balance) {
        unsigned char value[4] = {};
        if (!succeeded(api.rf_M1_readval(icdev, block, value), "rf_M1_readval")) return;
        const qint32 balance = PurseValue(value);
        group.showValue(balance);
        result.ShowSuccess(messages_.balanceRead);
        if (behaviour_.balanceShown) behaviour_.balanceShown(balance);
        return;
    }

    const int amount = group.decimal().value();
    if (group.decimal().text().isEmpty()) {
        app_.boxes().warning(owner_,
                             op == PurseOp::Initialize ? messages_.emptyInitial : messages_.emptyAmount);
        return;
    }
    switch (op) {
    case PurseOp::Initialize:
        if (succeeded(api.rf_M1_initval(icdev, block, amount), "rf_M1_initval"))
            result.ShowSuccess(messages_.initialized);
        break;
    case PurseOp::Increase:
        if (succeeded(api.rf_M1_increment(icdev, block, amount), "rf_M1_increment"))
            result.ShowSuccess(messages_.increased);
        break;
    case PurseOp::Decrease:
        if (succeeded(api.rf_M1_decrement(icdev, block, amount), "rf_M1_decrement"))
            result.ShowSuccess(messages_.decreased);
        break;
    case PurseOp::Balance:
        break;
    }
}

void ClassicSectorOps::read(OperationWindow& window) {
    window.clearData();
    if (!ready(window.key(), [] { return true; })) return;
    const int sector = window.sector();
    if (!authenticate(window.keyA(), sector, window.key())) return;
    const unsigned short icdev = app_.CurrentConnection.icdev();
    for (int i = 0; i < OperationWindow::kBlocks; ++i) {
        unsigned char data[OperationWindow::kBlockSize] = {};
        unsigned char length = 0;
        const int code =
            app_.api().rf_M1_read(icdev, static_cast<unsigned char>(4 * sector + i), data, &length);
        if (!succeeded(code, "rf_M1_read", length != OperationWindow::kBlockSize)) return;
        window.showBlock(i, data);
    }
    if (behaviour_.beepAfterRead) app_.api().rf_beep(icdev, kBeepTime);
    app_.results().ShowSuccess(messages_.sectorRead);
}

void ClassicSectorOps::write(OperationWindow& window) {
    const int block = window.writeBlock();
    unsigned char data[OperationWindow::kBlockSize];
    window.blockData(block, data);
    // A trailer with broken access bytes would lock the sector for good: refuse it before anything is sent.
    if (block == 3 && (window.accessBits().byteCount() < 3 || !accessBytesConsistent(data))) {
        app_.boxes().error(owner_, messages_.badAccessBits);
        return;
    }
    const auto confirmTrailer = [&] {
        return block != 3 || app_.boxes().confirm(owner_, messages_.confirmTrailer, QStringLiteral("Warning"),
                                                  MessageBoxes::Exclamation);
    };
    if (!ready(window.key(), confirmTrailer)) return;
    const int sector = window.sector();
    if (!authenticate(window.keyA(), sector, window.key())) return;
    const int code = app_.api().rf_M1_write(app_.CurrentConnection.icdev(),
                                            static_cast<unsigned char>(4 * sector + block), data);
    if (succeeded(code, "rf_M1_write")) app_.results().ShowSuccess(messages_.blockWritten);
}
