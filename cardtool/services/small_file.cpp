#include "services/small_file.h"

#include <QFile>

std::optional<QByteArray> readSmallFile(const QString& path, qint64 maxBytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.isSequential()) return std::nullopt;
    const qint64 size = file.size();
    if (size > maxBytes) return std::nullopt;
    QByteArray content = file.read(size);
    if (content.size() != size) return std::nullopt; // changed under us, or a read error
    return content;
}
