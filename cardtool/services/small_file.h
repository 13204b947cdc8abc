// Reading a whole small file the tool keeps beside itself (catalogs, INI
// files). The files are untrusted: one larger than the caller's limit, one
// that is not a regular file, or one that changes while it is read counts as
// missing, so nothing is allocated beyond what the file holds.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes);
