#include "pages/hex_edit.h"

#include <QKeyEvent>
#include <limits>

namespace {

int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return 0;
}

bool typeableInHex(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f') || u == 8 || u == '%' ||
           u == '\'' || u == '.';
}

bool isLetter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

} // namespace

HexEdit::HexEdit(QWidget* parent, int widthBytes) : QLineEdit(parent) {
    if (widthBytes > 0) setWidthBytes(widthBytes);
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
    QByteArray out;
    out.reserve((text.size() + 1) / 2);
    for (qsizetype i = 0; i + 1 < text.size(); i += 2)
        out.append(static_cast<char>(digitValue(text[i]) * 16 + digitValue(text[i + 1])));
    if (text.size() % 2 == 1) out.append(static_cast<char>(digitValue(text.back())));
    return out;
}

QString HexEdit::format(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

void HexEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    // Keys that type nothing (arrows, Delete, Home, ...) keep working.
    if (!ctrl && !typed.isEmpty() && !std::all_of(typed.begin(), typed.end(), typeableInHex)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
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
