#include "pages/iso14443_4_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cstring>

#include "pages/search_sequence.h"
#include "services/app_context.h"
#include "services/message_boxes.h"
#include "widgets/continuous_toggle.h"

namespace {

constexpr int kResetAttempts = 3;

// Readers from model 0x35 on find the card and send RATS in two commands.
bool s_newReader = false;

} // namespace

// ---- ISO 14443-4 ---------------------------------------------------------------

CIso14443_4Dlg::CIso14443_4Dlg(AppContext& app, QWidget* parent)
    : CosCommandPage(app, parent, "cosbooks.j"), typeA_(new QRadioButton("Type A", this)),
      typeB_(new QRadioButton("Type B", this)), csn_(makeHex("csn")), pupi_(makeHex("pupi")),
      resetInfo_(makeHex("resetInfo")) {
    typeA_->setObjectName("typeA");
    typeB_->setObjectName("typeB");
    typeA_->setChecked(true);
    QPushButton* resetButton = makeButton("Reset", "reset", [this] { reset(); });
    QPushButton* continuous = makeButton("Continuous Reset", "continuousReset", [] {});
    new ContinuousToggle(
        continuous, "Continuous Reset", QStringLiteral("\u8FDE\u7EED\u590D\u4F4D"), // 连续复位
        [this] { return languageId(); }, [this] { reset(); });
    // Type B halt: kept for the reader's engineers, never offered to users.
    QPushButton* haltButton = makeButton("halt", "halt", [this] { halt(); });
    haltButton->setEnabled(false);
    haltButton->hide();

    auto* grid = new QGridLayout;
    auto* types = new QHBoxLayout;
    types->addWidget(typeA_);
    types->addWidget(typeB_);
    types->addStretch();
    grid->addLayout(types, 0, 1, 1, 2);
    grid->addWidget(makeLabel("Timeout.", timeout_), 1, 0);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(timeout_);
    timeoutRow->addWidget(new QLabel("ms", this));
    timeoutRow->addStretch();
    grid->addLayout(timeoutRow, 1, 1, 1, 2);
    grid->addWidget(makeLabel("COS Command", command_), 2, 0);
    grid->addWidget(command_, 2, 1);
    grid->addWidget(bookButton_, 2, 2);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {sendButton_, resetButton, continuous, haltButton})
        buttons->addWidget(button);
    buttons->addStretch();
    grid->addLayout(buttons, 3, 1, 1, 2);
    grid->addWidget(makeLabel("CSN", csn_), 4, 0);
    grid->addWidget(csn_, 4, 1, 1, 2);
    grid->addWidget(makeLabel("PUPI", pupi_), 5, 0);
    grid->addWidget(pupi_, 5, 1, 1, 2);
    grid->addWidget(makeLabel("Reset Info", resetInfo_), 6, 0);
    grid->addWidget(resetInfo_, 6, 1, 1, 2);
    grid->addWidget(makeLabel("Result", answers_), 7, 0, Qt::AlignTop);
    grid->addWidget(answers_, 7, 1, 1, 2);
    grid->addWidget(clearButton_, 8, 2);
    answers_->setMinimumSize(420, 200);
    setLayout(grid);
    finishInit();
}

bool CIso14443_4Dlg::newReader() { return s_newReader; }

void CIso14443_4Dlg::sendCommand() {
    send("rf_cos_command", [this](unsigned char* command, unsigned char length, unsigned char* answer,
                                  unsigned char* answerLength, unsigned timeout) {
        return api().rf_ISO14443_4_COS(icdev(), command, length, answer, answerLength, timeout);
    });
}

void CIso14443_4Dlg::reset() {
    if (!requireConnection()) return;
    csn_->clear();
    pupi_->clear();
    resetInfo_->clear();
    const unsigned char type = typeA_->isChecked() ? 'A' : 'B';
    const ReaderApi& a = api();
    const unsigned short dev = icdev();
    const bool fieldReady = RunSearch(result(), 1,
                                      {{"rf_antenna_sta", 0, [&] { return a.rf_antenna_sta(dev, 0); }},
                                       {"rf_init_type", 20, [&] { return a.rf_init_type(dev, type); }},
                                       {"rf_antenna_sta", 20, [&] { return a.rf_antenna_sta(dev, 1); }}});
    if (!fieldReady) return;
    // After the last failed attempt its failure stays on the result line.
    for (int attempt = 0; attempt < kResetAttempts; ++attempt) {
        pause(10);
        if (type == 'A' ? resetTypeA() : resetTypeB()) {
            result().ShowSuccess("Reset operation success");
            return;
        }
    }
}

bool CIso14443_4Dlg::resetTypeA() {
    unsigned char model[2] = {};
    // The model word comes low byte first; if the reader does not tell, the last answer stands.
    if (api().rf_get_model(icdev(), model) == 0) s_newReader = model[1] >= 0x35;
    csn_->clear();
    resetInfo_->clear();
    unsigned char answer[256] = {};
    unsigned char length = 0;
    if (s_newReader) {
        unsigned char uidLength = 0;
        int code = api().rf_search_type_a(icdev(), 0x52, answer, &length, &uidLength);
        if (code != 0) {
            result().ShowResult(code, "rf_search_type_a");
            return false;
        }
        csn_->showBytes(TypeASerial(answer, length, uidLength));
        unsigned char ats[256] = {};
        unsigned char atsLength = 0;
        code = api().rf_iso14443_4_type_a_reset(icdev(), ats, &atsLength);
        resetInfo_->showBytes(ats, atsLength);
        if (code != 0) {
            result().ShowResult(code, "rf_iso14443_4_type_a_reset");
            return false;
        }
        return true;
    }
    const int code = api().rf_typea_rst(icdev(), 0x52, answer, &length);
    if (code != 0) {
        result().ShowResult(code, "rf_typea_rst");
        return false;
    }
    // The older reader answers the serial number and the ATS in one: its first
    // four bytes are taken as the serial number.
    const int serial = std::min<int>(length, 4);
    csn_->showBytes(answer, serial);
    resetInfo_->showBytes(answer + serial, length - serial);
    return true;
}

bool CIso14443_4Dlg::resetTypeB() {
    pupi_->clear();
    csn_->clear();
    unsigned char atqb[256] = {};
    unsigned char length = 0;
    const int code = api().rf_atqb(icdev(), 1, atqb, &length);
    if (!report(code, "rf_atqb", QString(), length != 12)) return false;
    std::memcpy(&pupiValue_, atqb + 1, 4);
    pupi_->showBytes(atqb + 1, 4);
    resetInfo_->showBytes(atqb, 12);
    return true;
}

void CIso14443_4Dlg::halt() {
    if (!requireConnection()) return;
    result().ShowResult(api().rf_hltb(icdev(), pupiValue_), "rf_ISO14443B_Halt");
}
