// The two input fields every page is built from.
//
// HexEdit holds binary data typed as hexadecimal text, two digits a byte.
// Typing lets through hex digits, backspace and "%", "'" and "."; with Ctrl
// held everything passes, so clipboard shortcuts work. Reading takes two
// digits a byte, an odd last digit becoming a byte of its own; a character
// that is not a hex digit (only pasting can bring one in) counts as 0.
//
// DigitEdit holds a decimal number: letters are dropped, the rest (a minus
// sign, say) passes; empty reads as -1, "no input".
#pragma once

#include <QByteArray>
#include <QLineEdit>

class HexEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit HexEdit(QWidget* parent = nullptr, int widthBytes = 0);

    // The field's width in bytes: its text holds twice as many digits.
    void setWidthBytes(int bytes);
    // Half the text limit, rounded up.
    int byteCapacity() const { return (maxLength() + 1) / 2; }
    // What every length check counts: the text length over two, rounded down.
    int byteCount() const { return static_cast<int>(text().size() / 2); }
    QByteArray bytes() const { return parse(text()); }
    // Up to size bytes of the field into out, the rest left as it was; returns how many.
    int copyBytes(unsigned char* out, int size) const;
    void showBytes(const QByteArray& bytes) { setText(format(bytes)); }
    void showBytes(const unsigned char* data, int size);
    // A 32-bit value shown as its four bytes, least significant first.
    void showValueBytes(quint32 value);

    static QByteArray parse(const QString& text);
    static QString format(const QByteArray& bytes);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class DigitEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit DigitEdit(QWidget* parent = nullptr);

    // -1 when empty; otherwise leading sign and digits up to the first other
    // character, like the C conversion (kept within int).
    int value() const { return parse(text()); }
    void setValue(int value) { setText(QString::number(value)); }
    static int parse(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};
