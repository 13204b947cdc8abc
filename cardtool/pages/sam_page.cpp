#include "pages/sam_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "services/app_context.h"
#include "widgets/hex_edit.h"

namespace {
const QStringList kRates{"9600", "19200", "38400", "55800", "57600", "115200", "230400"};
} // namespace

CSamDlg::CSamDlg(AppContext& app, QWidget* parent)
    : CosCommandPage(app, parent, "samcosbooks.j"), samNo_(makeList("samNo")),
      resetRate_(makeList("resetRate")), ppsRate_(makeList("ppsRate")), resetInfo_(makeHex("resetInfo")) {
    for (int slot = 1; slot <= 4; ++slot)
        samNo_->addItem(QStringLiteral("SAM%1").arg(slot), slot);
    resetRate_->addItems(kRates);
    ppsRate_->addItems(kRates);
    connect(samNo_, &QComboBox::currentIndexChanged, this,
            [this] { slot_ = static_cast<unsigned char>(samNo_->currentData().toInt()); });
    resetInfo_->setReadOnly(true);
    QPushButton* resetButton = makeButton("Reset", "reset", [this] { resetSam(); });
    QPushButton* ppsButton = makeButton("SetPPS", "setPps", [this] { setPps(); });

    // A rate choice and a list the reader's engineers once used; they play no part now.
    auto* oldRate = new QLabel("SAM Rate", this);
    auto* oldRate9600 = new QRadioButton("9600", this);
    oldRate9600->setObjectName("samRate9600");
    oldRate9600->setChecked(true);
    auto* oldRate38400 = new QRadioButton("38400", this);
    oldRate38400->setObjectName("samRate38400");
    auto* oldList = new QListWidget(this);
    oldList->setObjectName("samList");
    for (QWidget* unused : std::initializer_list<QWidget*>{oldRate, oldRate9600, oldRate38400, oldList})
        unused->hide();

    auto* grid = new QGridLayout;
    grid->addWidget(makeLabel("SAM No.", samNo_), 0, 0);
    grid->addWidget(samNo_, 0, 1);
    grid->addWidget(makeLabel("RST Baud.", resetRate_), 1, 0);
    grid->addWidget(resetRate_, 1, 1);
    grid->addWidget(resetButton, 1, 2);
    grid->addWidget(makeLabel("SetPPS.", ppsRate_), 2, 0);
    grid->addWidget(ppsRate_, 2, 1);
    grid->addWidget(ppsButton, 2, 2);
    grid->addWidget(makeLabel("Timeout.", timeout_), 3, 0);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(timeout_);
    timeoutRow->addWidget(new QLabel("ms", this));
    timeoutRow->addStretch();
    grid->addLayout(timeoutRow, 3, 1);
    grid->addWidget(makeLabel("COS Command", command_), 4, 0);
    auto* commandRow = new QHBoxLayout;
    commandRow->addWidget(command_);
    commandRow->addWidget(bookButton_);
    grid->addLayout(commandRow, 4, 1);
    grid->addWidget(sendButton_, 4, 2);
    grid->addWidget(makeLabel("Reset Info", resetInfo_), 5, 0);
    grid->addWidget(resetInfo_, 5, 1, 1, 2);
    grid->addWidget(makeLabel("Result", answers_), 6, 0, Qt::AlignTop);
    grid->addWidget(answers_, 6, 1, 1, 2);
    grid->addWidget(clearButton_, 7, 2);
    answers_->setMinimumSize(420, 200);
    setLayout(grid);
    finishInit();
}

unsigned CSamDlg::rate(const QComboBox* list) { return list->currentText().toUInt(); }

void CSamDlg::sendCommand() {
    // The library passes the time-out on only for slots beyond the fourth.
    send("rf_sam_cos", [this](unsigned char* command, unsigned char length, unsigned char* answer,
                              unsigned char* answerLength, unsigned timeout) {
        return api().rf_SAM_COS(icdev(), slot_, command, length, answer, answerLength, timeout);
    });
}

void CSamDlg::resetSam() {
    if (!requireConnection()) return;
    resetInfo_->clear();
    int code = api().rf_SAM_InitBaudrate(icdev(), slot_, rate(resetRate_));
    if (code != 0) {
        result().ShowResult(code, "rf_init_sam");
        return;
    }
    unsigned char atr[256] = {};
    unsigned char length = 0;
    code = api().rf_SAM_RST(icdev(), slot_, atr, &length);
    if (code != 0) {
        result().ShowResult(code, "rf_sam_rst");
        return;
    }
    resetInfo_->showBytes(atr, length);
    result().ShowSuccess("Reset operation success");
}

void CSamDlg::setPps() {
    if (!requireConnection()) return;
    const int code = api().rf_SAM_SetPPS(icdev(), slot_, rate(ppsRate_));
    if (code != 0)
        result().ShowResult(code, "rf_set_sam_PPS_byid");
    else
        result().ShowSuccess("rf_set_sam_PPS_byid Success!");
}
