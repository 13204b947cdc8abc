#include "widgets/command_book.h"

#include <QFile>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QtEndian>

#include "chrome/accessible_names.h"
#include "chrome/list_tips.h"
#include "chrome/tab_order.h"
#include "services/catalog.h"

namespace {

bool readU32(QIODevice& in, quint32& value) {
    uchar bytes[4];
    if (in.read(reinterpret_cast<char*>(bytes), 4) != 4) return false;
    value = qFromLittleEndian<quint32>(bytes);
    return true;
}

void writeU32(QIODevice& out, quint32 value) {
    uchar bytes[4];
    qToLittleEndian(value, bytes);
    out.write(reinterpret_cast<const char*>(bytes), 4);
}

} // namespace

void CommandBook::add(const QString& entry) {
    if (!entries_.isEmpty() && entries_.last() == entry) return;
    if (entries_.size() >= kMaxEntries) entries_.removeFirst();
    entries_.append(entry);
    changed_ = true;
}

void CommandBook::clear() {
    if (entries_.isEmpty()) return;
    entries_.clear();
    changed_ = true;
}

void CommandBook::load() {
    entries_.clear();
    QFile file(path_);
    if (file.open(QIODevice::ReadOnly)) readFrom(file);
    changed_ = false;
}

void CommandBook::readFrom(QIODevice& in) {
    quint32 count = 0;
    if (!readU32(in, count)) return;
    for (quint32 i = 0; i < count; ++i) {
        quint32 length = 0;
        if (!readU32(in, length)) return;
        // A length the rest of the file cannot hold is damage, never a size to allocate.
        if (length > kMaxEntryBytes || length > static_cast<quint64>(in.bytesAvailable())) return;
        const QByteArray text = in.read(length);
        if (text.size() != static_cast<qsizetype>(length)) return;
        add(QString::fromLatin1(text));
    }
}

void CommandBook::writeTo(QIODevice& out) const {
    writeU32(out, static_cast<quint32>(entries_.size()));
    for (const QString& entry : entries_) {
        const QByteArray text = entry.toLatin1();
        writeU32(out, static_cast<quint32>(text.size()));
        out.write(text);
    }
}

bool CommandBook::save() {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return false;
    writeTo(file);
    if (!file.commit()) return false;
    changed_ = false;
    return true;
}

CommandBookDialog::CommandBookDialog(CommandBook& book, const Catalog& catalog, QWidget* parent)
    : QDialog(parent), book_(book), list_(new QListWidget(this)) {
    setObjectName("commandBook");
    setWindowTitle("COS Command");
    list_->setObjectName("bookList");
    list_->setUniformItemSizes(true);
    for (const QString& entry : book_.entries()) {
        auto* item = new QListWidgetItem(entry, list_);
        item->setSizeHint(QSize(0, 18));
    }
    showTipsForLongEntries(list_);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        emit entryChosen(item->text());
        accept();
    });

    auto* clear = new QPushButton("Clear", this);
    clear->setObjectName("clearBook");
    clear->setAutoDefault(false);
    connect(clear, &QPushButton::clicked, this, [this] {
        book_.clear();
        list_->clear();
    });
    auto* close = new QPushButton("Close", this);
    close->setObjectName("closeBook");
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addLayout(buttons);
    resize(420, 320);

    catalog.translateWindow(this);
    nameControls(this);
    orderTabsWhenShown(this);
    list_->setAccessibleName(windowTitle());
}
