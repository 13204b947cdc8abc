// The ISO 15693 page: vicinity tags. Finds a tag by inventory or by its system
// information, writes and locks DSFID and AFI, reads the whole tag (data and
// block security) into a grid of 64 blocks, and writes or locks one block.
// Every command after the search goes to the tag whose UID is in the UID field.
//
// Tags of maker 0x04 hold 28 blocks and take their writes with request flags
// 0x02; other tags are read as 64 blocks and written with 0x06 (the option
// flag, which those tags need for writing and locking).
#pragma once

#include <functional>
#include <span>

#include "pages/card_page.h"
#include "services/reader_api.h"
#include "widgets/block_grid.h"

class QComboBox;
class QGridLayout;

class CIso15693Dlg : public CardPage {
    Q_OBJECT
  public:
    static constexpr int kBlocks = 64;

    CIso15693Dlg(AppContext& app, QWidget* parent);

    bool fillsView() const override { return true; }
    // The left-hand controls, centred vertically on screens 1024 pixels wide or
    // more, and the grid's four columns in the width to their right.
    void layOutFor(int screenWidth) override;

    // Whether the tag is taken for a 64-block one. Until the first search tells,
    // it is: a short tag read as long shows its 28 blocks and then names the
    // failing read, where a long tag read as short would hide blocks 28-63.
    bool longTag() const { return longTag_; }

  private:
    // Where the answer of a search holds what the page shows.
    struct SearchAnswer {
        const char* function;
        int minLength;
        int dsfidAt;
        int afiAt; // -1: not in the answer
    };
    struct Chunk {
        int first;
        int count;
    };
    // Entries of the binding, looked up when the button is pressed.
    using ByteWrite = decltype(&ReaderApi::ISO15693_Write_DSFID);
    using Lock = decltype(&ReaderApi::ISO15693_Lock_DSFID);

    // A row of a one-byte field with its Write and Lock buttons (DSFID, AFI).
    void addByteRow(QGridLayout* grid, int row, const QString& name, HexEdit* field, const QString& emptyText,
                    ByteWrite write, Lock lockCall);
    void inventory();
    void getInformation();
    void search(const SearchAnswer& shape, const std::function<int(unsigned char*, unsigned char*)>& call);
    // Connected and a whole UID in its field: the UID in uid; else reported.
    bool addressed(unsigned char uid[8]);
    void report(int code, const QString& function);
    void writeByte(HexEdit* field, const QString& emptyText, const QString& function, ByteWrite write);
    void lock(const QString& function, Lock call);
    void read();
    bool readData(unsigned char* uid, std::span<const Chunk> chunks);
    bool readSecurity(unsigned char* uid, std::span<const Chunk> chunks);
    void writeBlock();
    void lockBlock();
    unsigned char writeFlags() const { return longTag_ ? 0x06 : 0x02; }

    QWidget* controls_;
    HexEdit* uid_;
    HexEdit* dsfid_;
    HexEdit* afi_;
    QComboBox* block_;
    BlockGrid blocks_; // block number, data and security status
    bool longTag_ = true;
};
