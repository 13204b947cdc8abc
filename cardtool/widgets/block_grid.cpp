#include "widgets/block_grid.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <algorithm>

#include "widgets/control_helpers.h"

namespace {
QString numbered(QString format, int n) { return format.replace(QLatin1String("%d"), QString::number(n)); }
} // namespace

BlockGrid::BlockGrid(QWidget* host, const Rows& rows) : host_(host), bytes_(rows.bytes) {
    for (int n = 0; n < rows.count; ++n) {
        Row row;
        const QString name = numbered(rows.fieldName, n);
        row.firstBytes = rows.firstPart ? std::clamp(rows.firstPart(n), 1, rows.bytes) : rows.bytes;
        row.first = makeField(name, row.firstBytes);
        if (row.firstBytes < rows.bytes)
            row.second = makeField(name + QStringLiteral("High"), rows.bytes - row.firstBytes);
        if (rows.status) row.status = makeField(QStringLiteral("status%1").arg(n), 1);
        row.caption = controls::caption(numbered(rows.caption, n), row.first, host);
        if (!rows.captionName.isEmpty()) row.caption->setObjectName(numbered(rows.captionName, n));
        row.caption->setAlignment(rows.captionAlignment);
        rows_.append(row);
    }
}

HexEdit* BlockGrid::makeField(const QString& name, int bytes) {
    auto* field = new HexEdit(host_, bytes);
    field->setObjectName(name);
    return field;
}

bool BlockGrid::whole(int row) const {
    const Row& r = rows_[row];
    return r.first->byteCount() == r.firstBytes &&
           (r.second == nullptr || r.second->byteCount() == bytes_ - r.firstBytes);
}

void BlockGrid::copyRow(int row, unsigned char* data) const {
    const Row& r = rows_[row];
    r.first->copyBytes(data, r.firstBytes);
    if (r.second != nullptr) r.second->copyBytes(data + r.firstBytes, bytes_ - r.firstBytes);
}

void BlockGrid::showRow(int row, const unsigned char* data) {
    const Row& r = rows_[row];
    r.first->showBytes(data, r.firstBytes);
    if (r.second != nullptr) r.second->showBytes(data + r.firstBytes, bytes_ - r.firstBytes);
}

void BlockGrid::clearRow(int row) {
    const Row& r = rows_[row];
    for (HexEdit* field : {r.first, r.second, r.status})
        if (field != nullptr) field->clear();
}

void BlockGrid::clear() {
    for (int row = 0; row < count(); ++row)
        clearRow(row);
}

void BlockGrid::nameSecondParts(const QString& suffix) {
    for (const Row& r : std::as_const(rows_))
        if (r.second != nullptr) r.second->setAccessibleName(r.first->accessibleName() + suffix);
}

void BlockGrid::showRows(int first, int count) {
    for (int row = 0; row < this->count(); ++row) {
        const bool shown = row >= first && row < first + count;
        for (QWidget* w :
             {static_cast<QWidget*>(rows_[row].caption), static_cast<QWidget*>(rows_[row].first),
              static_cast<QWidget*>(rows_[row].second), static_cast<QWidget*>(rows_[row].status)})
            if (w != nullptr) w->setVisible(shown);
    }
}

QGridLayout* BlockGrid::columns(int perColumn, int fieldWidth, QWidget* header) {
    auto* grid = new QGridLayout;
    const int top = header != nullptr ? 1 : 0;
    if (header != nullptr) grid->addWidget(header, 0, 1);
    for (int n = 0; n < count(); ++n) {
        const Row& r = rows_[n];
        const int row = top + n % perColumn;
        const int column = 2 * (n / perColumn);
        grid->addWidget(r.caption, row, column);
        if (r.second == nullptr) {
            r.first->setFixedWidth(fieldWidth);
            grid->addWidget(r.first, row, column + 1);
            continue;
        }
        r.first->setFixedWidth(fieldWidth * r.firstBytes / bytes_ - 3);
        r.second->setFixedWidth(fieldWidth * (bytes_ - r.firstBytes) / bytes_ - 3);
        // The parts share the width of one field in proportion.
        auto* parts = new QHBoxLayout;
        parts->setSpacing(6);
        parts->addWidget(r.first);
        parts->addWidget(r.second);
        grid->addLayout(parts, row, column + 1);
    }
    return grid;
}

void BlockGrid::addHeaders(int columns, const QString& dataText, const QString& statusText) {
    for (int column = 0; column < columns; ++column) {
        auto* header = new QLabel(dataText, host_);
        header->setObjectName(QStringLiteral("blockHeader%1").arg(column));
        headers_.append(header);
        if (statusText.isEmpty()) continue;
        header = new QLabel(statusText, host_);
        header->setObjectName(QStringLiteral("statusHeader%1").arg(column));
        header->setAlignment(Qt::AlignCenter);
        statusHeaders_.append(header);
    }
}

void BlockGrid::place(const Placement& at) {
    const auto dataX = [&](int column) {
        return at.left + column * at.columnPitch + at.captionWidth + at.gap;
    };
    const int statusOffset = at.dataWidth + at.gap;
    for (int column = 0; column < headers_.size(); ++column)
        headers_[column]->setGeometry(dataX(column), at.top, at.headerWidth, at.headerHeight);
    // A status header is wider than its fields: it is centred over them.
    for (int column = 0; column < statusHeaders_.size(); ++column)
        statusHeaders_[column]->setGeometry(dataX(column) + statusOffset - at.statusWidth, at.top,
                                            3 * at.statusWidth, at.headerHeight);
    const int perView = at.columns * at.perColumn;
    for (int n = 0; n < count(); ++n) {
        const Row& r = rows_[n];
        const int column = n % perView / at.perColumn;
        const int y = at.rowsTop + n % at.perColumn * at.rowPitch;
        r.caption->setGeometry(at.left + column * at.columnPitch, y, at.captionWidth, at.rowHeight);
        r.first->setGeometry(dataX(column), y, at.dataWidth, at.rowHeight);
        if (r.status != nullptr)
            r.status->setGeometry(dataX(column) + statusOffset, y, at.statusWidth, at.rowHeight);
    }
}
