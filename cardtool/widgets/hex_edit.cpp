#include "widgets/hex_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QValidator>
#include <algorithm>
#include <limits>

namespace {

// -1 for a character that is not a hex digit.
int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

// What people put between bytes when they copy a dump or an APDU.
bool isSeparator(QChar c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ':' || c == '-' || c == ',';
}

// Keeps every change of the field's text to hex digits (see HexEdit::clean).
class HexValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        const std::optional<QString> kept = HexEdit::clean(input);
        if (!kept) return Invalid;
        pos -= static_cast<int>(std::count_if(
            input.begin(), input.begin() + std::clamp<qsizetype>(pos, 0, input.size()), isSeparator));
        input = *kept;
        return Acceptable;
    }
};

bool isLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

} // namespace

HexEdit::HexEdit(QWidget* parent, int widthBytes) : QLineEdit(parent) {
    if (widthBytes > 0) setWidthBytes(widthBytes);
    setValidator(new HexValidator(this));
    connect(this, &QLineEdit::inputRejected, this, [] { QApplication::beep(); });
}

void HexEdit::setWidthBytes(int bytes) { setMaxLength(2 * bytes); }

int HexEdit::copyBytes(unsigned char* out, int size) const {
    const QByteArray data = bytes();
    const int n = std::min(size, static_cast<int>(data.size()));
    for (int i = 0; i < n; ++i)
        out[i] = static_cast<unsigned char>(data[i]);
    return n;
}

void HexEdit::showBytes(const unsigned char* data, int size) {
    showBytes(QByteArray(reinterpret_cast<const char*>(data), std::max(size, 0)));
}

void HexEdit::showValueBytes(quint32 value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                    static_cast<unsigned char>(value >> 16),
                                    static_cast<unsigned char>(value >> 24)};
    showBytes(bytes, 4);
}

QByteArray HexEdit::parse(const QString& text) {
    // Text set by the program is hex already; anything else left in counts as 0.
    const auto value = [](QChar c) { return std::max(digitValue(c), 0); };
    QByteArray out;
    out.reserve((text.size() + 1) / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2)
        out.append(static_cast<char>(value(text[i]) * 16 + value(text[i + 1])));
    if (text.size() % 2 == 1) out.append(static_cast<char>(value(text.back())));
    return out;
}

std::optional<QString> HexEdit::clean(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (isSeparator(c)) continue;
        if (digitValue(c) < 0) return std::nullopt;
        kept.append(c);
    }
    return kept;
}

QString HexEdit::format(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

void HexEdit::keyPressEvent(QKeyEvent* event) {
    // Typed characters are checked by the validator; Return and Escape pass
    // on to the dialog as in any line edit.
    if (event == QKeySequence::Paste && !isReadOnly()) {
        pasteHex();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void HexEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    for (QAction* action : menu->actions()) {
        if (action->objectName() != QLatin1String("edit-paste")) continue;
        action->disconnect(this);
        connect(action, &QAction::triggered, this, &HexEdit::pasteHex);
    }
    menu->popup(event->globalPos());
}

bool HexEdit::setHexText(const QString& text) {
    const std::optional<QString> kept = clean(text);
    if (!kept) {
        QApplication::beep();
        return false;
    }
    setText(*kept);
    return true;
}

void HexEdit::pasteHex() {
    const std::optional<QString> kept = clean(QApplication::clipboard()->text());
    if (!kept) {
        QApplication::beep();
        return;
    }
    insert(*kept);
}

DigitEdit::DigitEdit(QWidget* parent) : QLineEdit(parent) {}

int DigitEdit::parse(const QString& text) {
    if (text.isEmpty()) return -1;
    qsizetype i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > std::numeric_limits<int>::max()) {
            value = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
            break;
        }
    }
    if (negative) value = -value;
    return static_cast<int>(
        std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

void DigitEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    if (!typed.isEmpty() && std::any_of(typed.begin(), typed.end(), isLetter)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
