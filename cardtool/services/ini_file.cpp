#include "services/ini_file.h"

#include "services/small_file.h"

#include <QStringDecoder>

#include <algorithm>
#include <climits>
#include <optional>

namespace {

// Our INI files are a few kilobytes. A bigger file is not one of ours and reads as missing, which also bounds
// what a damaged or hostile file can make the tool allocate.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

// One line as the reader sees it.
struct IniLine {
    enum Kind { Ignored, Section, Entry } kind = Ignored;
    QStringView name; // the section name, or the key
    QStringView value;
};

IniLine classify(QStringView line) {
    line = line.trimmed(); // also drops the CR of a CRLF file
    if (line.startsWith(u';')) return {};
    if (line.startsWith(u'[')) {
        const qsizetype close = line.indexOf(u']');
        if (close > 0) // whatever follows the ']' is ignored
            return {IniLine::Section, line.sliced(1, close - 1).trimmed(), {}};
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) return {};
    QStringView value = line.sliced(equals + 1).trimmed();
    const bool quoted = value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
                        value.back() == value.front();
    if (quoted) value = value.sliced(1, value.size() - 2);
    return {IniLine::Entry, line.first(equals).trimmed(), value};
}

bool sameName(QStringView a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// The value of key in the first section named section. Keys written before any section header belong to no
// section, and a key missing from the first matching section is missing even if a later duplicate of the
// section holds it.
std::optional<QStringView> find(QStringView text, const QString& section, const QString& key) {
    bool inSection = false;
    for (const QStringView raw : text.tokenize(u'\n')) {
        const IniLine line = classify(raw);
        if (line.kind == IniLine::Section) {
            if (inSection) return std::nullopt;
            inSection = sameName(line.name, section);
        } else if (line.kind == IniLine::Entry && inSection && sameName(line.name, key)) {
            return line.value;
        }
    }
    return std::nullopt;
}

} // namespace

IniFile::IniFile(const QString& path) {
    if (const std::optional<QByteArray> content = readSmallFile(path, kMaxFileSize)) setContent(*content);
}

IniFile IniFile::fromBytes(const QByteArray& content) {
    IniFile ini;
    if (content.size() <= kMaxFileSize) ini.setContent(content);
    return ini;
}

void IniFile::setContent(const QByteArray& content) {
    // Files written by hand on a Western or Chinese Windows are not always UTF-8. Latin-1 keeps every byte as
    // one character, so a file in another encoding still reads (if garbled) and a binary file cannot fail.
    QStringDecoder utf8(QStringDecoder::Utf8);
    m_text = utf8(content);
    if (utf8.hasError()) m_text = QString::fromLatin1(content);
    m_loaded = true;
}

bool IniFile::loaded() const { return m_loaded; }

QStringList IniFile::sectionNames(int bufferSize) const {
    QStringList names;
    qsizetype room = qsizetype(bufferSize) - 1; // the NUL that ends the list
    for (const QStringView raw : QStringView(m_text).tokenize(u'\n')) {
        const IniLine line = classify(raw);
        if (line.kind != IniLine::Section) continue;
        if (line.name.isEmpty()) break;
        if (line.name.size() + 1 > room) {
            const qsizetype cut = room - 1; // the cut name still needs its NUL
            if (cut > 0) names.append(line.name.first(cut).toString());
            break;
        }
        names.append(line.name.toString());
        room -= line.name.size() + 1;
    }
    return names;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& defaultValue,
                            int bufferSize) const {
    if (bufferSize <= 0) return {};
    const std::optional<QStringView> value = find(m_text, section, key);
    return (value ? value->toString() : defaultValue).left(bufferSize - 1);
}

int IniFile::readInt(const QString& section, const QString& key, int defaultValue) const {
    const std::optional<QStringView> value = find(m_text, section, key);
    if (!value || value->isEmpty()) return defaultValue;
    QStringView digits = *value;
    while (!digits.isEmpty() && (digits.front() == u' ' || digits.front() == u'\t'))
        digits = digits.sliced(1);
    const bool negative = digits.startsWith(u'-');
    if (negative || digits.startsWith(u'+')) digits = digits.sliced(1);
    // Stop growing just past the int range so a long run of digits cannot overflow.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long number = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') break;
        number = std::min(number * 10 + (c.unicode() - u'0'), kLimit);
    }
    if (negative) number = -number;
    return int(std::clamp<long long>(number, INT_MIN, INT_MAX));
}
