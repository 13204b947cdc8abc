// FrameTrace: the library's frame trace, switched on for the card tool's trace
// pane and read back as it grows.
//
// The library writes its trace to the file VARROK_TRACE names and looks at the
// variable before every exchange. While the pane is open the tool points it at
// a file of its own and reads the new lines; closed, the variable is as the
// user left it, so tracing costs nothing. The environment is changed only
// between library calls: it has no lock, and the worker thread reads it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>

class LibraryCalls;

// One line of the trace: a frame sent to a reader or received from it.
struct TraceFrame {
    QString line;      // as the library wrote it
    qint64 micros = 0; // since the epoch
    QString reader;    // its open text
    bool sent = false;
    QString command;  // the export that sent it
    QString status;   // for a request: its code and length; for an answer: how it went
    QByteArray frame; // as it went on the wire

    // Reads a trace line; nothing for a line that is not one.
    static std::optional<TraceFrame> parse(const QString& line);
};

class FrameTrace {
  public:
    explicit FrameTrace(LibraryCalls& calls);
    ~FrameTrace();
    FrameTrace(const FrameTrace&) = delete;
    FrameTrace& operator=(const FrameTrace&) = delete;

    // Points the library's trace at the tool's file, or gives the variables
    // back as they were. False when the file cannot be made.
    bool setOn(bool on);
    bool isOn() const { return on_; }

    // The frames written since the last look; whole lines only, so a line
    // the worker is still writing waits for the next look.
    QList<TraceFrame> take();

    // The frames as a pcap file (link type USER0: direction, reader name length,
    // reader name, frame), the form the library writes with VARROK_TRACE_FORMAT=pcap.
    static QByteArray pcap(const QList<TraceFrame>& frames);

  private:
    struct Saved {
        bool set = false;
        QByteArray value;
    };

    LibraryCalls& calls_;
    std::unique_ptr<QTemporaryDir> dir_;
    QString path_;
    qint64 offset_ = 0;
    bool on_ = false;
    Saved trace_, format_;
};
