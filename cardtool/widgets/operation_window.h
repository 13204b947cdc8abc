// One sector of a MIFARE card in a window: its three data blocks, its
// trailer split into three fields (key A, access bits, key B, in widths the
// page gives), the key type and key that open the sector, the block to
// write, and Read Card / Write Card. The page decides what the buttons do.
#pragma once

#include <QGroupBox>
#include <array>
#include <functional>

class HexEdit;
class QComboBox;
class QPushButton;
class QRadioButton;

struct WindowLayout {
    QString name;         // object names of the controls start with it ("window1", "level3Window")
    int sectors = 0;      // sectors 0 to sectors - 1
    QString sectorFormat; // list item of a sector, one number in it ("%d", "Sector %02d")
    QString blockFormat;  // list item of a write block (blocks 0 to 3)
    int keyBytes = 6;
    std::array<int, 3> trailer{6, 4, 6}; // widths of the trailer's fields, 16 bytes together
};

class OperationWindow : public QGroupBox {
    Q_OBJECT
  public:
    static constexpr int kBlocks = 4;
    static constexpr int kBlockSize = 16;

    OperationWindow(const WindowLayout& layout, std::function<void()> onRead, std::function<void()> onWrite,
                    QWidget* parent);

    int sector() const;
    int writeBlock() const;
    bool keyA() const;
    HexEdit& key() const { return *key_; }
    // The trailer's middle field: access bytes and the user byte.
    const HexEdit& accessBits() const { return *trailer_[1]; }
    QPushButton& writeButton() const { return *write_; }

    void clearData();
    // A block as read: block 3 is spread over the trailer fields.
    void showBlock(int block, const unsigned char data[kBlockSize]);
    // The 16 bytes to write to a block: zeros, then what its field (or each
    // trailer field, at its own offset) holds, never more than fits.
    void blockData(int block, unsigned char data[kBlockSize]) const;

    // Keeps Write Card off while sector 0, block 0 (the manufacturer block) is
    // chosen. A change of choice applies it only while applies() says so.
    void guardManufacturerBlock(std::function<bool()> applies);
    void refreshWriteEnabled();

    // Once the captions are translated: names the fields that have no caption of their own.
    void nameParts();

  private:
    void choiceChanged();

    WindowLayout layout_;
    QComboBox* sectors_;
    QComboBox* writeBlocks_;
    std::array<HexEdit*, 3> blocks_;
    std::array<HexEdit*, 3> trailer_;
    QRadioButton* keyA_;
    HexEdit* key_;
    QPushButton* write_;
    std::function<bool()> guard_;
};
