#include "pages/memory_pages.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "pages/search_sequence.h"
#include "services/app_context.h"

namespace {
constexpr int kPageSize = 4;
constexpr int kRowsPerColumn = 8;
} // namespace

MemoryCardPage::MemoryCardPage(AppContext& app, QWidget* parent, const QString& serialCaption, int pages,
                               int splitPage)
    : CardPage(app, parent), serial_(makeHex("serialNumber")), pageList_(makeList("pageAddress")),
      pages_(this, {.count = pages,
                    .bytes = kPageSize,
                    .fieldName = "page%d",
                    .caption = "Page%d",
                    .firstPart = [=](int page) { return page == splitPage ? kPageSize / 2 : kPageSize; }}) {
    auto* top = new QGridLayout;
    top->addWidget(makeLabel(serialCaption, serial_), 0, 0);
    top->addWidget(serial_, 0, 1);
    top->addWidget(makeButton("Search Card", "searchCard", [this] { search(); }), 0, 2);
    top->addWidget(makeLabel("Page Address", pageList_), 1, 0);
    top->addWidget(pageList_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(makeButton("Read Card", "readCard", [this] { read(); }));
    buttons->addWidget(makeButton("Write Card", "writeCard", [this] { write(); }));
    top->addLayout(buttons, 1, 2);
    serial_->setMinimumWidth(200);

    // Pages 0 and 1 hold the serial number and are never offered for writing.
    for (int page = 2; page < pages; ++page)
        pageList_->addItem(QString::number(page), page);
    pageList_->setCurrentIndex(2);

    QGridLayout* grid = pages_.columns(kRowsPerColumn, 110);
    grid->setHorizontalSpacing(14);
    auto* form = new QVBoxLayout(this);
    form->addLayout(top);
    form->addSpacing(12);
    form->addLayout(grid);
}

int MemoryCardPage::chosenPage() const { return pageList_->currentData().toInt(); }

// ---- Ultralight ------------------------------------------------------------

CUltraLightDlg::CUltraLightDlg(AppContext& app, QWidget* parent)
    : MemoryCardPage(app, parent, "SN0.......SN6", 16, 2) {
    finishInit();
    // The second half has no caption of its own.
    pages_.nameSecondParts(QStringLiteral(" (2-3)"));
}

void CUltraLightDlg::search() {
    serial_->clear();
    if (!requireConnection()) return;
    unsigned char tagType[2] = {};
    unsigned char uid[256] = {};
    unsigned char length = 0;
    const ReaderApi& a = api();
    const unsigned short dev = icdev();
    const bool found = RunSearch(result(), 2,
                                 {{"rf_antenna_sta", 0, [&] { return a.rf_antenna_sta(dev, 0); }},
                                  {"rf_init_type", 0, [&] { return a.rf_init_type(dev, 'A'); }},
                                  {"rf_antenna_sta", 20, [&] { return a.rf_antenna_sta(dev, 1); }},
                                  {"rf_request", 0, [&] { return a.rf_request(dev, 0x52, tagType); }},
                                  {"rf_ul_select", 0, [&] { return a.rf_ul_select(dev, uid, &length); }}});
    if (!found) return;
    pages_.clear();
    serial_->showBytes(uid, length);
    result().ShowSuccess("Search card successfully");
}

void CUltraLightDlg::read() {
    pages_.clear();
    for (int group = 0; group < 4; ++group) {
        unsigned char data[16] = {};
        unsigned char length = 0;
        const int code = api().rf_M1_read(icdev(), static_cast<unsigned char>(4 * group), data, &length);
        if (!report(code, QStringLiteral("Read page: %1 failed!").arg(group), QString(), length != 16))
            return;
        for (int i = 0; i < 4; ++i)
            pages_.showRow(4 * group + i, data + kPageSize * i);
    }
    result().ShowSuccess("Read card successfully");
}

void CUltraLightDlg::write() {
    if (!requireConnection()) return;
    const int page = chosenPage();
    unsigned char data[kPageSize] = {};
    pages_.copyRow(page, data);
    report(api().rf_ul_write(icdev(), static_cast<unsigned char>(page), data), "rf_ul_write",
           "Write card successfully");
}

// ---- ICODE1 -----------------------------------------------------------------

CIcode1Dlg::CIcode1Dlg(AppContext& app, QWidget* parent) : MemoryCardPage(app, parent, "SN0.......SN7", 32) {
    auto* note = new QLabel(
        "Before Operate the first four blocks of the card, Making sure to read the card datasheet first!",
        this);
    note->setObjectName("note");
    note->setWordWrap(true);
    static_cast<QVBoxLayout*>(layout())->addSpacing(12);
    layout()->addWidget(note);
    finishInit();
}

void CIcode1Dlg::search() {
    serial_->clear();
    if (!requireConnection()) return;
    unsigned char serial[8] = {};
    const ReaderApi& a = api();
    const unsigned short dev = icdev();
    // ICODE1 labels answer without the antenna being switched off and on.
    const bool found =
        RunSearch(result(), 2,
                  {{"rf_init_type", 0, [&] { return a.rf_init_type(dev, 'I'); }},
                   {"rf_ICODE1_Request", 20, [&] { return a.rf_ICODE1_Request(dev, serial); }}});
    if (!found) return;
    pages_.clear();
    serial_->showBytes(serial, 8);
    result().ShowSuccess("Search card successfully");
}

void CIcode1Dlg::read() {
    pages_.clear();
    for (int page = 0; page < pages_.count(); ++page) {
        unsigned char data[kPageSize] = {};
        const int code = api().rf_ICODE1_Read(icdev(), static_cast<unsigned char>(page), data);
        if (!report(code, QStringLiteral("Read page: %1 failed!").arg(page))) return;
        pages_.showRow(page, data);
    }
    result().ShowSuccess("Read card successfully");
}

void CIcode1Dlg::write() {
    if (!requireConnection()) return;
    const int page = chosenPage();
    unsigned char data[kPageSize] = {};
    pages_.copyRow(page, data);
    report(api().rf_ICODE1_Write(icdev(), static_cast<unsigned char>(page), data), "rf_ICODE1_Write",
           "Write card successfully");
}
