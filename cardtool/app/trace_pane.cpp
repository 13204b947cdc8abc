#include "app/trace_pane.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "services/app_context.h"
#include "services/library_calls.h"
#include "services/message_boxes.h"

namespace {

constexpr int kPollMs = 100;
// A continuous search left running fills the pane without end: the oldest go.
constexpr int kMostFrames = 20000;

enum Column { Time, Direction, Command, Status, Frame, Columns };
constexpr std::array<const char*, Columns> kHeaders{"Time", "Direction", "Command", "Status", "Frame"};

// All or nothing: a file cut short by a full disk is not left behind as a trace.
bool writeWhole(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

class TraceModel : public QAbstractTableModel {
  public:
    TraceModel(std::array<QString, Columns> headers, QString sent, QString received, QObject* parent)
        : QAbstractTableModel(parent), headers_(std::move(headers)), sent_(std::move(sent)),
          received_(std::move(received)) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : int(frames.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : Columns; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        const TraceFrame& f = frames[index.row()];
        switch (index.column()) {
        case Time:
            return f.line.section(QLatin1Char(' '), 1, 1);
        case Direction:
            return f.sent ? sent_ : received_;
        case Command:
            return f.command;
        case Status:
            return f.status;
        default:
            return QString::fromLatin1(f.frame.toHex(' ').toUpper());
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= Columns)
            return {};
        return headers_[section];
    }

    void append(const QList<TraceFrame>& more) {
        if (more.isEmpty()) return;
        const qsizetype excess = frames.size() + more.size() - kMostFrames;
        if (excess > 0) {
            const int dropped = int(std::min(excess, frames.size()));
            beginRemoveRows({}, 0, dropped - 1);
            frames.remove(0, dropped);
            endRemoveRows();
        }
        const QList<TraceFrame> kept = more.mid(std::max<qsizetype>(0, more.size() - kMostFrames));
        beginInsertRows({}, int(frames.size()), int(frames.size() + kept.size()) - 1);
        frames.append(kept);
        endInsertRows();
    }
    void clear() {
        beginResetModel();
        frames.clear();
        endResetModel();
    }

    QList<TraceFrame> frames;

  private:
    std::array<QString, Columns> headers_;
    QString sent_, received_;
};

TracePane::TracePane(AppContext& app, QWidget* parent)
    : QDockWidget(parent), app_(app), trace_(app.library.calls()), table_(new QTableView),
      poll_(new QTimer(this)) {
    setObjectName("tracePane");
    setWindowTitle(app_.Translate(QStringLiteral("Frame trace")));
    toggleViewAction()->setObjectName("frameTrace");
    std::array<QString, Columns> headers;
    for (int c = 0; c < Columns; ++c)
        headers[c] = app_.Translate(QString::fromLatin1(kHeaders[c]));
    model_ = new TraceModel(headers, app_.Translate(QStringLiteral("Sent")),
                            app_.Translate(QStringLiteral("Received")), this);
    table_->setObjectName("traceFrames");
    table_->setAccessibleName(windowTitle());
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);

    auto* body = new QWidget;
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const char* text, auto slot) {
        auto* b = new QPushButton(app_.Translate(QString::fromLatin1(text)));
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    button("copyTrace", "Copy", [this] { copy(); });
    button("clearTrace", "Clear", [this] { clear(); });
    button("saveTraceText", "Save as text...", [this] { askAndSave(false); });
    button("saveTracePcap", "Save as pcap...", [this] { askAndSave(true); });
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(table_, 1);
    setWidget(body);
    resize(900, 300);

    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, &TracePane::refresh);
    // Opened and closed by the View menu or the pane's own close button.
    connect(toggleViewAction(), &QAction::toggled, this, &TracePane::follow);
    // A switch asked for under a call waits for the operation's end.
    connect(&app_.library.calls(), &LibraryCalls::operationEnded, this, [this] {
        follow();
        if (tracing()) refresh();
    });
    hide();
}

TracePane::~TracePane() = default;

const QList<TraceFrame>& TracePane::frames() const { return model_->frames; }

void TracePane::follow() {
    // The View command is checked before the pane shows itself.
    const bool open = toggleViewAction()->isChecked();
    if (!trace_.setOn(open)) return;
    if (open) {
        poll_->start();
    } else {
        poll_->stop();
        refresh(); // the last frames before the trace stopped
    }
}

void TracePane::refresh() {
    const bool atBottom = table_->verticalScrollBar() == nullptr ||
                          table_->verticalScrollBar()->value() == table_->verticalScrollBar()->maximum();
    model_->append(trace_.take());
    if (atBottom) table_->scrollToBottom();
}

QList<TraceFrame> TracePane::chosen() const {
    const QModelIndexList rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return model_->frames;
    QList<int> numbers;
    for (const QModelIndex& row : rows)
        numbers.append(row.row());
    std::sort(numbers.begin(), numbers.end());
    QList<TraceFrame> frames;
    for (int n : numbers)
        frames.append(model_->frames[n]);
    return frames;
}

void TracePane::copy() const {
    QStringList lines;
    for (const TraceFrame& f : chosen())
        lines.append(f.line);
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void TracePane::clear() { model_->clear(); }

bool TracePane::saveText(const QString& path) const {
    QByteArray text;
    for (const TraceFrame& f : model_->frames)
        text += f.line.toUtf8() + '\n';
    return writeWhole(path, text);
}

bool TracePane::savePcap(const QString& path) const {
    return writeWhole(path, FrameTrace::pcap(model_->frames));
}

void TracePane::askAndSave(bool pcap) {
    const QString filter = pcap ? app_.Translate(QStringLiteral("pcap files (*.pcap)"))
                                : app_.Translate(QStringLiteral("Text files (*.txt)"));
    const QString path = QFileDialog::getSaveFileName(this, windowTitle(), QString(), filter);
    if (path.isEmpty()) return;
    if (!(pcap ? savePcap(path) : saveText(path)))
        app_.boxes().show(this, app_.Translate(QStringLiteral("Cannot write the file %1")).arg(path),
                          app_.Translate(QStringLiteral("Error")), MessageBoxes::Stop, MessageBoxes::Ok);
}
