// The two input fields every page is built from.
//
// HexEdit holds binary data typed as hexadecimal text, two digits a byte.
// Whatever reaches its text (typed, pasted, dropped) keeps only hex digits:
// spaces and the usual separators (":", "-", ",") are dropped, and any other
// character is refused with a beep, so what the field shows is what is sent.
// Keys that type no printable character (Return, Escape, Delete, arrows)
// work as in any line edit and reach the dialog. Reading takes two digits a
// byte, an odd last digit becoming a byte of its own.
//
// DigitEdit holds a decimal number: letters are dropped, the rest (a minus
// sign, say) passes; empty reads as -1, "no input".
#pragma once

#include <QByteArray>
#include <QLineEdit>
#include <optional>

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
    // Text as the field keeps it: separators dropped; nothing when another
    // character that is not a hex digit is in it.
    static std::optional<QString> clean(const QString& text);
    // Text from elsewhere (a command book) taken as a paste would be; false,
    // with a beep and the field as it was, when it is not hex.
    bool setHexText(const QString& text);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Pastes the clipboard's text cleaned first, so separators do not count
    // against the field's length.
    void pasteHex();
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
