// The command book: the APDUs sent from a page, kept beside the program so that
// they can be picked again in later runs. The ISO 14443-4 page and the SAM page
// each keep one, in files of their own.
//
// File (little-endian):
//   count          u32   entries that follow
//   count times:   u32   length of the text in bytes
//                  text  the command as upper-case hex, no terminator
//
// The file is read back, so it is treated as untrusted: reading stops at the
// first entry the file cannot hold (a short file, a count or a length beyond
// its end) and keeps what came before; nothing is read or allocated beyond
// the file. Texts come back byte for byte, hex or not.
#pragma once

#include <QDialog>
#include <QStringList>

class Catalog;
class QIODevice;
class QListWidget;

class CommandBook {
  public:
    // A full book forgets its oldest entry for a new one.
    static constexpr int kMaxEntries = 201;
    // No entry the tool writes comes near this; a longer one marks a damaged file.
    static constexpr quint32 kMaxEntryBytes = 64 * 1024;

    explicit CommandBook(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }
    const QStringList& entries() const { return entries_; }
    // Whether the book differs from what was loaded (or last saved).
    bool changed() const { return changed_; }

    // A repeat of the last entry is dropped; only consecutive repeats are.
    void add(const QString& entry);
    void clear();

    // A missing or unreadable file leaves the book empty.
    void load();
    // The whole book goes to a new file that then takes the old one's place,
    // so a write that fails part way leaves the old book as it was. False when
    // it could not be written (a folder the user may not write to, say).
    bool save();

    void readFrom(QIODevice& in);
    void writeTo(QIODevice& out) const;

  private:
    QString path_;
    QStringList entries_;
    bool changed_ = false;
};

// The book's window ("COS Command"): the entries, oldest first. A double-click
// hands the entry to the page and closes the window; Clear empties the book.
class CommandBookDialog : public QDialog {
    Q_OBJECT
  public:
    CommandBookDialog(CommandBook& book, const Catalog& catalog, QWidget* parent);

    QListWidget* list() const { return list_; }

  signals:
    void entryChosen(const QString& entry);

  private:
    CommandBook& book_;
    QListWidget* list_;
};
