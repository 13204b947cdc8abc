#include "pages/cos_command_page.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <cstring>

#include "services/app_context.h"
#include "services/message_boxes.h"

namespace {
constexpr unsigned kMaxTimeoutMs = 100000;
} // namespace

CosCommandPage::CosCommandPage(AppContext& app, QWidget* parent, const QString& bookFile)
    : CardPage(app, parent), timeout_(new DigitEdit(this)), command_(makeHex("cosCommand")),
      bookButton_(makeButton("...", "commandBook", [this] { openBook(); })),
      sendButton_(makeButton("Send", "send", [this] { sendCommand(); })), answers_(new QPlainTextEdit(this)),
      clearButton_(makeButton("Clear", "clear", [this] { clearAnswers(); })),
      book_(app.AppDir + QLatin1Char('/') + bookFile) {
    timeout_->setObjectName("timeout");
    timeout_->setValue(2000);
    timeout_->setMaximumWidth(80);
    command_->setMinimumWidth(260);
    bookButton_->setMaximumWidth(28);
    bookButton_->setAccessibleDescription("Command book");
    answers_->setObjectName("answers");
    answers_->setReadOnly(true);
    book_.load();
}

CosCommandPage::~CosCommandPage() {
    // An installed program may sit in a folder the user cannot write to: the
    // book is then simply not kept.
    if (book_.changed()) book_.save();
}

std::optional<unsigned> CosCommandPage::timeoutMs() const {
    bool number = false;
    const int value = timeout_->text().trimmed().toInt(&number);
    if (!number || value < 0 || static_cast<unsigned>(value) > kMaxTimeoutMs) return std::nullopt;
    return static_cast<unsigned>(value);
}

void CosCommandPage::refuse(const QString& text) {
    boxes().show(this, app_.Translate(text), app_.Translate("Error"), MessageBoxes::Stop, MessageBoxes::Ok);
}

void CosCommandPage::send(const QString& failName, const Exchange& exchange) {
    // A time-out the reader cannot be given is refused rather than sent as something else.
    const std::optional<unsigned> timeout = timeoutMs();
    if (!timeout) {
        refuse("Please enter an integer between 0 and 100000.");
        return;
    }
    if (!requireConnection()) return;
    const QByteArray command = command_->bytes();
    if (command.isEmpty()) {
        refuse("COS command is NULL!");
        return;
    }
    if (command.size() > kMaxCommandBytes) {
        refuse("COS command is longer than 255 bytes!");
        return;
    }
    // Booked before sending: a command that fails is worth picking again too.
    book_.add(HexEdit::format(command));
    unsigned char request[kMaxCommandBytes] = {};
    std::memcpy(request, command.constData(), static_cast<size_t>(command.size()));
    unsigned char answer[256] = {};
    unsigned char length = 0;
    const int code = exchange(request, static_cast<unsigned char>(command.size()), answer, &length, *timeout);
    if (code != 0) {
        result().ShowResult(code, failName);
        return;
    }
    answers_->moveCursor(QTextCursor::End);
    answers_->insertPlainText(HexEdit::format(QByteArray(reinterpret_cast<const char*>(answer), length)) +
                              QStringLiteral("\n\n"));
    answers_->ensureCursorVisible();
    result().ShowSuccess("Send operation success");
}

void CosCommandPage::clearAnswers() {
    answers_->clear();
    result().ShowSuccess("Clear display info successful!");
}

void CosCommandPage::openBook() {
    CommandBookDialog dialog(book_, app_.catalog, this);
    connect(&dialog, &CommandBookDialog::entryChosen, command_, &HexEdit::setHexText);
    dialog.exec();
}
