#include "pages/at88rf020_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "services/app_context.h"
#include "services/message_boxes.h"
#include "widgets/continuous_toggle.h"

namespace {
constexpr int kPupiBytes = 4;
constexpr int kPasswordBytes = 8;
constexpr int kLockBytes = 4;
constexpr int kCounterBytes = 6;
constexpr int kAtqbLength = 12;
constexpr int kLockPage = 0;
constexpr int kCountPage = 2;
constexpr int kPasswordPage = 3;
constexpr int kRowsPerColumn = 8;
const QString kChineseContSearch = QStringLiteral("\u8FDE\u7EED\u5BFB\u5361"); // 连续寻卡
} // namespace

CAt88rf020Dlg::CAt88rf020Dlg(AppContext& app, QWidget* parent)
    : CardPage(app, parent), pupi_(makeHex("pupi", kPupiBytes)),
      password_(makeHex("password", kPasswordBytes)), lock_(makeHex("lock", kLockBytes)),
      counter_(makeHex("counter", kCounterBytes)), pageList_(makeList("pageAddress")),
      pages_(this, {.count = kPages,
                    .bytes = kPageSize,
                    .fieldName = "page%d",
                    .caption = "Page%d",
                    .firstPart = [](int page) {
                        return page < kCountPage ? kPageSize / 2 : page == kCountPage ? 6 : kPageSize;
                    }}) {
    // "PUPI" is the same in every language: its caption is set after translation.
    auto* pupiLabel = makeLabel(QString(), pupi_);
    auto* lockButton = makeButton("Lock", "lockButton", [this] { lock(); });
    auto* countButton = makeButton("Count", "countButton", [this] { count(); });
    contSearch_ = makeButton("Cont Search", "contSearch", [] {});

    auto* top = new QGridLayout;
    top->addWidget(pupiLabel, 0, 0);
    top->addWidget(pupi_, 0, 1);
    top->addWidget(makeButton("Search Card", "searchCard", [this] { search(); }), 0, 2);
    top->addWidget(contSearch_, 0, 3);
    top->addWidget(makeLabel("Password", password_), 1, 0);
    top->addWidget(password_, 1, 1);
    top->addWidget(makeButton("Check", "checkButton", [this] { check(); }), 1, 2);
    top->addWidget(lock_, 2, 1);
    top->addWidget(lockButton, 2, 2);
    top->addWidget(makeLabel("Counter", counter_), 3, 0);
    top->addWidget(counter_, 3, 1);
    top->addWidget(countButton, 3, 2);
    top->addWidget(makeLabel("Page Address", pageList_), 4, 0);
    top->addWidget(pageList_, 4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(makeButton("Read Card", "readCard", [this] { read(); }));
    buttons->addWidget(makeButton("Write Card", "writeCard", [this] { write(); }));
    buttons->addWidget(makeButton("DeSlect", "deselect", [this] { deselect(); }));
    top->addLayout(buttons, 4, 2, 1, 2);
    top->setColumnStretch(4, 1);
    password_->setMinimumWidth(170);

    // Pages 0 and 2 change only through Lock and Count; page 3 (the password)
    // is written but never read.
    pageList_->addItem(QStringLiteral("1"), 1);
    for (int page = kPasswordPage; page < kPages; ++page)
        pageList_->addItem(QString::number(page), page);
    pageList_->setCurrentIndex(0);

    QGridLayout* grid = pages_.columns(kRowsPerColumn, 150);
    grid->setHorizontalSpacing(14);
    auto* form = new QVBoxLayout(this);
    form->addLayout(top);
    form->addSpacing(12);
    form->addLayout(grid);
    form->addStretch();

    password_->setText(QString(2 * kPasswordBytes, QLatin1Char('0')));
    finishInit();

    pupiLabel->setText(QStringLiteral("PUPI"));
    pupi_->setAccessibleName(pupiLabel->text());
    // The lock field is named by its button; the second halves by their page.
    lock_->setAccessibleName(lockButton->text());
    pages_.nameSecondParts(QStringLiteral(" (2)"));

    toggle_ = new ContinuousToggle(
        contSearch_, QStringLiteral("Cont earch"), kChineseContSearch, [this] { return languageId(); },
        [this] { search(); });
}

void CAt88rf020Dlg::search() {
    for (int page = 0; page < kPages; ++page)
        if (page != kPasswordPage) pages_.clearRow(page);
    if (!requireConnection()) return;
    const ReaderApi& a = api();
    const unsigned short dev = icdev();
    for (int attempt = 0; attempt < 2; ++attempt) {
        int code = a.rf_init_type(dev, 'B');
        if (code != 0) {
            result().ShowResult(code, "rf_init_type");
            continue;
        }
        pause(20);
        unsigned char atqb[256] = {};
        unsigned char length = 0;
        code = a.rf_atqb(dev, 1, atqb, &length);
        if (code != 0 || length != kAtqbLength) {
            result().ShowResult(code, "rf_atqb");
            continue;
        }
        // The ATQB: 50, the PUPI, application data, protocol info.
        pupi_->showBytes(atqb + 1, kPupiBytes);
        cardFound_ = true;
        password_->setFocus();
        result().ShowSuccess("Search card successfully");
        return;
    }
    pupi_->clear();
    cardFound_ = false;
}

void CAt88rf020Dlg::check() {
    if (!requireConnection()) return;
    if (password_->byteCount() != kPasswordBytes) {
        boxes().error(this, "Please input 8 bytes key");
        return;
    }
    unsigned char password[kPasswordBytes] = {};
    password_->copyBytes(password, kPasswordBytes);
    report(api().rf_at020_check(icdev(), password), "rf_at020_check", "Check operation success");
}

bool CAt88rf020Dlg::readBack(int page) {
    unsigned char data[kPageSize] = {};
    unsigned char length = 0;
    const int code = api().rf_at020_read(icdev(), static_cast<unsigned char>(page), data, &length);
    if (!report(code, "rf_at020_read", QString(), length != kPageSize)) return false;
    pages_.showRow(page, data);
    return true;
}

void CAt88rf020Dlg::lock() {
    pages_.clearRow(kLockPage);
    if (!requireConnection()) return;
    if (lock_->byteCount() != kLockBytes) {
        boxes().error(this, "Please input 4 bytes in lock area!");
        return;
    }
    unsigned char bits[kLockBytes] = {};
    lock_->copyBytes(bits, kLockBytes);
    const int code = api().rf_at020_lock(icdev(), bits);
    if (code != 0) {
        result().ShowResult(code, "rf_at020_lock");
        return;
    }
    if (readBack(kLockPage)) result().ShowSuccess("LOCK operation success");
}

void CAt88rf020Dlg::count() {
    pages_.clearRow(kCountPage);
    if (!requireConnection()) return;
    if (counter_->byteCount() != kCounterBytes) {
        boxes().error(this, "Please input 6 bytes in Idiograph area!");
        return;
    }
    unsigned char signature[kCounterBytes] = {};
    counter_->copyBytes(signature, kCounterBytes);
    const int code = api().rf_at020_count(icdev(), signature);
    if (code != 0) {
        result().ShowResult(code, "rf_at020_count");
        return;
    }
    if (readBack(kCountPage)) result().ShowSuccess("Count operation success");
}

void CAt88rf020Dlg::read() {
    pages_.clear();
    if (!requireConnection()) return;
    for (int page = 0; page < kPages; ++page) {
        if (page == kPasswordPage) continue;
        unsigned char data[kPageSize] = {};
        unsigned char length = 0;
        const int code = api().rf_at020_read(icdev(), static_cast<unsigned char>(page), data, &length);
        if (!report(code, QStringLiteral("Read page: %1 failed!").arg(page), QString(), length != kPageSize))
            return;
        pages_.showRow(page, data);
    }
    result().ShowSuccess("Read card successfully");
}

void CAt88rf020Dlg::write() {
    if (!requireConnection()) return;
    const int page = pageList_->currentData().toInt();
    // Zeros, then what the page's fields hold; a shorter entry leaves zeros.
    unsigned char data[kPageSize] = {};
    pages_.copyRow(page, data);
    report(api().rf_at020_write(icdev(), static_cast<unsigned char>(page), data), "rf_at020_write",
           "Write card successfully");
}

void CAt88rf020Dlg::deselect() {
    if (!requireConnection()) return;
    report(api().rf_at020_deselect(icdev()), "rf_at020_deselect", "Operation Success!");
}
