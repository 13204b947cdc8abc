#include "services/frame_trace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include "services/library_calls.h"

namespace {

constexpr const char* kTraceVariable = "VARROK_TRACE";
constexpr const char* kFormatVariable = "VARROK_TRACE_FORMAT";
// What one look reads at most, and the size past which the file starts again
// (its lines are in the pane by then).
constexpr qint64 kMostPerTake = 1 << 20;
constexpr qint64 kRestartAt = 4 << 20;

void append32(QByteArray& out, quint32 value) {
    const quint32 little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), 4);
}

void append16(QByteArray& out, quint16 value) {
    const quint16 little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), 2);
}

} // namespace

// "2026-12-08 19:06:34.890576 TCP://127.0.0.1:4001 -> rf_M1_Read command 13, 1 data bytes | AA BB ..."
std::optional<TraceFrame> TraceFrame::parse(const QString& line) {
    const int bar = line.lastIndexOf(QStringLiteral(" |"));
    if (bar < 0) return std::nullopt;
    const QStringList head = line.left(bar).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (head.size() < 6 || (head[3] != QLatin1String("->") && head[3] != QLatin1String("<-")))
        return std::nullopt;
    const QStringList clock = head[1].split(QLatin1Char('.'));
    const QDateTime stamp =
        QDateTime::fromString(head[0] + QLatin1Char(' ') + clock[0], QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    bool fractionOk = clock.size() == 2 && clock[1].size() == 6;
    const int fraction = fractionOk ? clock[1].toInt(&fractionOk) : 0;
    if (!stamp.isValid() || !fractionOk) return std::nullopt;
    TraceFrame frame;
    frame.line = line;
    frame.micros = stamp.toMSecsSinceEpoch() * 1000 + fraction;
    frame.reader = head[2];
    frame.sent = head[3] == QLatin1String("->");
    frame.command = head[4];
    frame.status = head.mid(5).join(QLatin1Char(' '));
    frame.frame = QByteArray::fromHex(line.mid(bar + 2).toLatin1());
    return frame;
}

FrameTrace::FrameTrace(LibraryCalls& calls) : calls_(calls) {}

FrameTrace::~FrameTrace() { setOn(false); }

bool FrameTrace::setOn(bool on) {
    if (on == on_) return true;
    if (calls_.inCall()) return false; // the worker may be reading the environment
    const auto restore = [](const char* name, const Saved& saved) {
        if (saved.set)
            qputenv(name, saved.value);
        else
            qunsetenv(name);
    };
    if (on) {
        // The folder is made the first time the trace is wanted, never for a run that does not.
        if (!dir_) {
            dir_ =
                std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/oskelle-trace-XXXXXX"));
            if (dir_->isValid()) path_ = dir_->filePath(QStringLiteral("frames.txt"));
        }
        if (path_.isEmpty()) return false;
        trace_ = {qEnvironmentVariableIsSet(kTraceVariable), qgetenv(kTraceVariable)};
        format_ = {qEnvironmentVariableIsSet(kFormatVariable), qgetenv(kFormatVariable)};
        qputenv(kTraceVariable, QFile::encodeName(path_));
        qunsetenv(kFormatVariable);
    } else {
        restore(kTraceVariable, trace_);
        restore(kFormatVariable, format_);
    }
    on_ = on;
    return true;
}

QList<TraceFrame> FrameTrace::take() {
    QList<TraceFrame> frames;
    QFile file(path_);
    if (path_.isEmpty() || !file.open(QIODevice::ReadOnly)) return frames;
    const qint64 size = file.size();
    if (size < offset_) offset_ = 0; // cut behind our back: read it from the start
    if (!file.seek(offset_)) return frames;
    const QByteArray chunk = file.read(kMostPerTake);
    file.close();
    const qsizetype end = chunk.lastIndexOf('\n') + 1; // whole lines only
    offset_ += end;
    for (const QByteArray& line : chunk.left(end).split('\n'))
        if (auto frame = TraceFrame::parse(QString::fromUtf8(line))) frames.append(*frame);
    // With no call in flight nothing is being written: the file may start again.
    if (offset_ >= kRestartAt && offset_ == size && !calls_.inCall() && QFile::resize(path_, 0)) offset_ = 0;
    return frames;
}

QByteArray FrameTrace::pcap(const QList<TraceFrame>& frames) {
    QByteArray out;
    append32(out, 0xA1B2C3D4); // microsecond time stamps
    append16(out, 2);
    append16(out, 4);
    append32(out, 0);
    append32(out, 0);
    append32(out, 65535);
    append32(out, 147); // USER0: our own frames
    for (const TraceFrame& f : frames) {
        const QByteArray name = f.reader.toLatin1().left(255);
        const auto size = static_cast<quint32>(2 + name.size() + f.frame.size());
        append32(out, static_cast<quint32>(f.micros / 1000000));
        append32(out, static_cast<quint32>(f.micros % 1000000));
        append32(out, size);
        append32(out, size);
        out.append(char(f.sent ? 0 : 1));
        out.append(char(name.size()));
        out.append(name);
        out.append(f.frame);
    }
    return out;
}
