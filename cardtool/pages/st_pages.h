// The SR176 page (card type 3) and the SRIX4K page (card type 4): ST
// short-range memory tags, selected with protocol type 's'. Both find the tag
// and show its chip ID, read every block, write one block chosen from a list,
// and set the lock register after a confirmation. The SR176 page also reads
// the lock register; the SRIX4K page reads the UID and shows its 128 blocks in
// two views under tabs, laid out for the screen width.
#pragma once

#include <memory>

#include "pages/card_page.h"
#include "widgets/block_grid.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTabBar;

// What the two pages share: chip ID and search, the block list, the block
// fields, Read Card, Write Card and Lock Block.
class StTagPage : public CardPage {
    Q_OBJECT
  public:
    void search();
    void readCard();
    void writeCard();
    void lockBlock();

    HexEdit* blockField(int block) const { return blocks_->field(block); }

  protected:
    // blockSize: bytes a block; lockCaption: the caption of the lock-register field.
    StTagPage(AppContext& app, QWidget* parent, int blockSize, const QString& lockCaption);

    // The family's calls, each returning the library's code.
    virtual int readBlock(unsigned char block, unsigned char* data, unsigned char* length) = 0;
    virtual int writeBlock(unsigned char block, unsigned char* data) = 0;
    virtual int writeLock(unsigned char value) = 0;
    virtual const char* writeFunction() const = 0;
    virtual const char* lockFunction() const = 0;

    // The block fields on host, each named by a caption ("%d" the block); the caller places them.
    BlockGrid& makeBlocks(QWidget* host, int count, const QString& caption);

    const int blockSize_;
    HexEdit* chipId_;
    QComboBox* blockList_;
    HexEdit* lockRegister_;
    QLabel* lockLabel_;
    QPushButton* searchButton_;
    QPushButton* readButton_;
    QPushButton* writeButton_;
    QPushButton* lockButton_;
    std::unique_ptr<BlockGrid> blocks_;
};

class CSr176Dlg : public StTagPage {
    Q_OBJECT
  public:
    static constexpr int kBlocks = 16;

    CSr176Dlg(AppContext& app, QWidget* parent);

    void readLockRegister();

  private:
    int readBlock(unsigned char block, unsigned char* data, unsigned char* length) override;
    int writeBlock(unsigned char block, unsigned char* data) override;
    int writeLock(unsigned char value) override;
    const char* writeFunction() const override { return "rf_sr176_writeblock"; }
    const char* lockFunction() const override { return "rf_sr176_protectblock"; }
};

class CSrix4kDlg : public StTagPage {
    Q_OBJECT
  public:
    static constexpr int kBlocks = 128;
    static constexpr int kBlocksPerView = 64;
    static constexpr int kColumns = 4;
    static constexpr int kRowsPerColumn = kBlocksPerView / kColumns;
    // The control identifiers of the grid: fields, their labels, the column headers.
    static constexpr int kFieldId = 5000;
    static constexpr int kLabelId = 5500;
    static constexpr int kHeaderId = 6000;

    CSrix4kDlg(AppContext& app, QWidget* parent);

    bool fillsView() const override { return true; }
    void layOutFor(int screenWidth) override;

    void readUid();
    // The view shown: 0 "First Page" (blocks 0-63), 1 "Second Page" (64-127).
    int currentView() const;
    void showView(int view);
    QTabBar* viewTabs() const { return tabs_; }
    QWidget* blockGrid() const { return grid_; }
    int screenWidth() const { return screenWidth_; }

  private:
    int readBlock(unsigned char block, unsigned char* data, unsigned char* length) override;
    int writeBlock(unsigned char block, unsigned char* data) override;
    int writeLock(unsigned char value) override;
    const char* writeFunction() const override { return "rf_srix4k_writeblock"; }
    const char* lockFunction() const override { return "rf_srix4k_writelockreg"; }

    void buildGrid();
    void placeGrid();

    HexEdit* uid_;
    QTabBar* tabs_ = nullptr;
    QWidget* grid_ = nullptr;
    int screenWidth_ = 0;
};
