#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <functional>

class QMenuBar;
class QWidget;

// The language catalog: the English text of a caption (msgid) mapped to its translation (msgstr), read from
// a .po-style file. The reader takes the texts by their position on the line, as the tool always has; the
// shipped catalogs are written to suit it, so it must not become cleverer (see loadFromBytes).
class Catalog {
  public:
    // Empties the catalog, then fills it from the file. A missing or unreadable file leaves it empty.
    void load(const QString& path);
    void loadFromBytes(const QByteArray& content);

    // The translation when the catalog holds a non-empty one for exactly this text, else the text unchanged.
    QString translate(const QString& text) const;

    // translate() over the caption of every descendant widget (in findChildren order), then the window's own
    // title. Captions: QAbstractButton::text, QLabel::text, QGroupBox::title, QTabWidget tab texts,
    // QWidget::windowTitle of the window. QLineEdit/QComboBox contents are data and are NOT translated.
    // Empty captions are left alone.
    void translateWindow(QWidget* window) const;

    // translate() over every top-level action text of the menu bar and every action of each of their menus
    // (one level deep; deeper submenus are not visited; separators skipped). Does nothing when languageId is
    // "en_US".
    void translateMenu(QMenuBar* menuBar, const QString& languageId) const;

    int size() const;

    // Every text handed to translate(), for the completeness check of the shipped catalogs; nullptr stops it.
    void setRecorder(std::function<void(const QString&)> recorder);

  private:
    QHash<QString, QString> m_entries;
    std::function<void(const QString&)> m_recorder;
};
