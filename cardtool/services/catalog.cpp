#include "services/catalog.h"

#include "services/small_file.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStringDecoder>
#include <QTabWidget>
#include <algorithm>

namespace {

// A catalog is some tens of kilobytes. A bigger file is not a catalog and reads as missing, which also bounds
// what a damaged or hostile file can make the tool allocate.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

// A translation spread over several lines ends at its closing quote; one that never closes takes at most this
// many further lines, so a broken catalog loses a bounded part of itself rather than everything after it.
constexpr int kMaxContinuationLines = 1025;

// Catalogs are UTF-8 now, but the older Chinese ones were saved in the Windows Chinese code page, of which
// GB18030 is a superset. A UTF-8 file with a few stray bytes stays UTF-8 (those bytes replaced): GB18030 is
// taken only for a file it reads whole that reads as UTF-8 mostly in errors. Should this Qt lack that codec,
// Latin-1 still reads any byte.
QString decode(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    const auto count = [](const QString& s, auto keep) { return std::count_if(s.begin(), s.end(), keep); };
    const auto replaced = [](QChar c) { return c == QChar::ReplacementCharacter; };
    const auto wide = [](QChar c) { return c.unicode() >= 0x80 && c != QChar::ReplacementCharacter; };
    if (count(text, wide) > count(text, replaced)) return text;
    QStringDecoder chinese("GB18030");
    if (!chinese.isValid()) return QString::fromLatin1(bytes);
    const QString gb = chinese(bytes);
    if (chinese.hasError() || count(gb, replaced) > 0) return text;
    return gb;
}

// The line without its first `skip` characters and its last one: the text between the quotes of
// `msgid "text"` when skip is 7. Too short a line holds no text.
QStringView quoted(QStringView line, qsizetype skip) {
    return line.size() > skip + 1 ? line.sliced(skip, line.size() - skip - 1) : QStringView();
}

QStringView withoutCr(QStringView line) { return line.endsWith(u'\r') ? line.chopped(1) : line; }

} // namespace

void Catalog::load(const QString& path) {
    m_entries.clear();
    if (const std::optional<QByteArray> content = readSmallFile(path, kMaxFileSize)) loadFromBytes(*content);
}

// Deliberately positional: a msgid line sets the current key, a msgstr line stores its text under that key.
// The key is not cleared after use, no escape other than a literal \r\n is understood, and lines of any
// other kind are skipped.
void Catalog::loadFromBytes(const QByteArray& content) {
    m_entries.clear();
    if (content.size() > kMaxFileSize) return;
    const QString text = decode(content);
    const auto lines = QStringView(text).tokenize(u'\n');
    QString key;
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        const QStringView line = withoutCr(*it);
        if (line.startsWith(u"msgid")) {
            key = quoted(line, 7).toString();
            continue;
        }
        if (!line.startsWith(u"msgstr")) continue;
        QString joined = line.toString();
        for (int appended = 0; !joined.endsWith(u'"') && appended < kMaxContinuationLines; ++appended) {
            auto next = it;
            if (++next == lines.end()) break;
            it = next;
            joined += u"\r\n";
            joined += withoutCr(*it);
        }
        QString value = quoted(joined, 8).toString();
        if (!value.isEmpty())
            m_entries.insert(key, value.replace(QLatin1String("\\r\\n"), QLatin1String("\r\n")));
    }
}

QString Catalog::translate(const QString& text) const {
    if (m_recorder) m_recorder(text);
    return m_entries.value(text, text);
}

void Catalog::translateWindow(QWidget* window) const {
    if (!window) return;
    // An empty caption has nothing to translate, and would only show up as a gap in the recorded texts.
    const auto retitle = [this](const QString& caption, const auto& set) {
        if (!caption.isEmpty()) set(translate(caption));
    };
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            retitle(button->text(), [button](const QString& t) { button->setText(t); });
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            retitle(label->text(), [label](const QString& t) { label->setText(t); });
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            retitle(group->title(), [group](const QString& t) { group->setTitle(t); });
        } else if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
            for (int i = 0; i < tabs->count(); ++i)
                retitle(tabs->tabText(i), [tabs, i](const QString& t) { tabs->setTabText(i, t); });
        }
    }
    retitle(window->windowTitle(), [window](const QString& t) { window->setWindowTitle(t); });
}

void Catalog::translateMenu(QMenuBar* menuBar, const QString& languageId) const {
    // The menus are built in English; an English user keeps them as built.
    if (!menuBar || languageId == u"en_US") return;
    const auto retext = [this](QAction* action) {
        if (!action->isSeparator() && !action->text().isEmpty()) action->setText(translate(action->text()));
    };
    for (QAction* top : menuBar->actions()) {
        retext(top);
        if (QMenu* menu = top->menu())
            for (QAction* action : menu->actions())
                retext(action);
    }
}

int Catalog::size() const { return int(m_entries.size()); }

void Catalog::setRecorder(std::function<void(const QString&)> recorder) { m_recorder = std::move(recorder); }
