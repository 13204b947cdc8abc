// The purse of a MIFARE sector, as the Mifare One page and the MifarePlus
// level pages show it: the sector and block holding the value block, the key
// type and key that open the sector, the amount typed in decimal and as four
// bytes (least significant first, kept in step while the user types), and
// the four purse buttons. Pages give the lists' formats, the key width and
// the decimal field's length; what a button does is theirs too.
#pragma once

#include <QGroupBox>
#include <QList>
#include <functional>

class DigitEdit;
class HexEdit;
class QComboBox;
class QRadioButton;

enum class PurseOp { Initialize, Increase, Decrease, Balance };

// A purse value as cards and readers carry it: four bytes, least significant first.
inline qint32 PurseValue(const unsigned char bytes[4]) {
    return static_cast<qint32>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                               static_cast<quint32>(bytes[3]) << 24);
}

struct PurseLayout {
    QString name;         // object names of the controls start with it ("purse", "level3Purse")
    int sectors = 0;      // sectors 0 to sectors - 1
    QString sectorFormat; // list item of a sector, one number in it ("%d", "Sector %02d")
    QString blockFormat;  // list item of a block
    std::function<QList<int>(int sector)> blocksOf; // the blocks offered in a sector
    int keyBytes = 6;
    int decimalLength = 8;
};

class PurseGroup : public QGroupBox {
    Q_OBJECT
  public:
    PurseGroup(const PurseLayout& layout, std::function<void(PurseOp)> onButton, QWidget* parent);

    int sector() const;
    int block() const;
    bool keyA() const;
    // The block's address on cards of four blocks a sector.
    int address() const { return 4 * sector() + block(); }
    HexEdit& key() const { return *key_; }
    DigitEdit& decimal() const { return *decimal_; }
    HexEdit& valueBytes() const { return *bytes_; }

    // A value read from the card, in both fields.
    void showValue(qint32 value);
    void clearValue();
    // Once the captions are translated: names the fields that have no caption of their own.
    void nameParts();

  private:
    void fillBlocks();
    void showDecimal(qint32 value);
    void decimalEdited();
    void bytesEdited();

    PurseLayout layout_;
    QComboBox* sectors_;
    QComboBox* blocks_;
    QRadioButton* keyA_;
    HexEdit* key_;
    DigitEdit* decimal_;
    int typedLength_ = 0; // the decimal field's limit for typing
    HexEdit* bytes_;
    bool linking_ = false; // one field is writing the other
};
