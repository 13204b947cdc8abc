// BlockGrid: a card's memory as rows of fields, one row a block (or page): a
// caption that names the row's field for screen readers, the block's bytes in
// one hex field or in two (where the parts of a block play different roles),
// and, for tags that report it, a one-byte status field. The rows are children
// of the widget they are made on, so Tab reads them in place among the page's
// other controls. The grid arranges them in a layout of columns, or places
// them itself where they follow the screen's width.
#pragma once

#include <QList>
#include <QString>
#include <functional>

#include "widgets/hex_edit.h"

class QGridLayout;
class QLabel;
class QWidget;

class BlockGrid {
  public:
    struct Rows {
        int count = 0;
        int bytes = 4;     // a row's bytes
        QString fieldName; // object names of the fields, "%d" the row: "page%d"
        QString caption;   // "%d" the row: "Page%d"
        // Object names of the captions, "%d" the row; empty: the field's name and "Label".
        QString captionName = {};
        Qt::Alignment captionAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        bool status = false; // a one-byte "status%d" field after the data
        // Bytes in the first of two fields, or `bytes` for a row of one field
        // (kept within 1 and `bytes`).
        std::function<int(int row)> firstPart = {};
    };

    // Where place() puts the rows: columns of perColumn rows, columnPitch
    // apart, starting again after columns * perColumn rows (a grid of several
    // views). A row is caption, data and status field gap apart, rowPitch below
    // the one before from rowsTop on; the headers stand at top.
    struct Placement {
        int left = 0, top = 0, columns = 1, perColumn = 1, columnPitch = 0;
        int captionWidth = 0, gap = 0, dataWidth = 0, statusWidth = 0;
        int rowHeight = 0, rowPitch = 0, rowsTop = 0, headerWidth = 0, headerHeight = 0;
    };

    BlockGrid(QWidget* host, const Rows& rows);

    int count() const { return static_cast<int>(rows_.size()); }
    QLabel* caption(int row) const { return rows_[row].caption; }
    HexEdit* field(int row) const { return rows_[row].first; }
    HexEdit* second(int row) const { return rows_[row].second; } // nullptr for a row of one field
    HexEdit* status(int row) const { return rows_[row].status; }
    QList<QLabel*> headers() const { return headers_; }

    // Whether every field of the row holds all its bytes.
    bool whole(int row) const;
    // The row's bytes into data (the grid's bytes a row): what each field holds
    // at its place; a shorter entry leaves what data held there.
    void copyRow(int row, unsigned char* data) const;
    void showRow(int row, const unsigned char* data);
    void clearRow(int row);
    void clear();

    // The second fields of split rows are named after the first, with suffix.
    void nameSecondParts(const QString& suffix);
    // Only rows [first, first + count) are shown.
    void showRows(int first, int count);

    // Captions and fields in columns of perColumn rows, below header (if any)
    // over the first column's fields. A row of one field is fieldWidth wide;
    // the parts of a split row share that width in proportion.
    QGridLayout* columns(int perColumn, int fieldWidth, QWidget* header = nullptr);
    // A header over each column's data, "blockHeader%d", and one centred over
    // its status fields, "statusHeader%d", where statusText is given.
    void addHeaders(int columns, const QString& dataText, const QString& statusText = QString());
    void place(const Placement& at);

  private:
    struct Row {
        QLabel* caption = nullptr;
        HexEdit *first = nullptr, *second = nullptr, *status = nullptr;
        int firstBytes = 0;
    };

    HexEdit* makeField(const QString& name, int bytes);

    QWidget* host_;
    int bytes_;
    QList<Row> rows_;
    QList<QLabel*> headers_;       // over the data of each column
    QList<QLabel*> statusHeaders_; // over the status of each column, if any
};
