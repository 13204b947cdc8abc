#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A reader for the tool's INI files that answers like the Windows profile calls the first version of the tool
// made: sections keep the order they were written in (QSettings would sort them), names match regardless of
// letter case, and every answer is cut as it would be to fit the caller's buffer.
//
// The file is read once and kept as text; each question scans it again. The files are a few kilobytes, and
// keeping no parsed form means a hostile file costs no more memory than its own text.
class IniFile {
  public:
    explicit IniFile(const QString& path); // reads the file once; a missing/unreadable file is an empty INI
    static IniFile fromBytes(const QByteArray& content);
    bool loaded() const; // the file existed and was read

    // Section names in file order, as they would fill a buffer of bufferSize bytes (each name NUL-terminated,
    // the list ended by one more NUL): names that do not fit are dropped, and the last one is cut so that the
    // whole still fits. Duplicate section names appear as often as written. An empty name ("[]") ends the
    // list, as its NUL would for anyone reading such a buffer. Sizes count characters.
    QStringList sectionNames(int bufferSize = 4096) const;

    // The value of key in section, or defaultValue when section or key is missing. Section and key names
    // match regardless of letter case, first matching section then first matching key win. The result is cut
    // to bufferSize - 1 characters (the caller's buffer keeps a NUL).
    QString readString(const QString& section, const QString& key, const QString& defaultValue,
                       int bufferSize) const;

    // The value read as a decimal integer: optional leading blanks, optional sign, digits, stopping at the
    // first non-digit ("12abc" is 12, "abc" is 0). Missing key (or empty value) gives defaultValue. Values
    // beyond the range of int give its nearest end.
    int readInt(const QString& section, const QString& key, int defaultValue) const;

  private:
    IniFile() = default;
    void setContent(const QByteArray& content);

    QString m_text;
    bool m_loaded = false;
};
