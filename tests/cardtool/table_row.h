// One row of a QTest table in one line: row("name", cell, cell, ...), the
// cells in column order; C strings go in as QString.
#pragma once

#include <QString>
#include <QTest>

namespace tooltest {

inline QString cell(const char* text) { return QString::fromUtf8(text); }
template <class T> const T& cell(const T& value) { return value; }

template <class... Cells> void row(const char* name, const Cells&... cells) {
    (QTest::newRow(name) << ... << cell(cells));
}

} // namespace tooltest
