// TracePane: the frames the library sends to the reader and receives from it,
// in a dockable pane the View menu opens (closed at start). Copy, clear, and
// save as text or pcap. The trace runs only while the pane is open.
#pragma once

#include <QDockWidget>

#include "services/frame_trace.h"

class AppContext;
class QTableView;
class QTimer;
class TraceModel;

class TracePane : public QDockWidget {
    Q_OBJECT
  public:
    TracePane(AppContext& app, QWidget* parent);
    ~TracePane() override;

    QTableView* table() const { return table_; }
    const QList<TraceFrame>& frames() const;
    bool tracing() const { return trace_.isOn(); }

    // Reads what the library wrote since the last look.
    void refresh();
    // The selected frames, or every frame when none is selected, as trace lines.
    void copy() const;
    void clear();
    bool saveText(const QString& path) const;
    bool savePcap(const QString& path) const;

  private:
    void follow();
    void askAndSave(bool pcap);
    QList<TraceFrame> chosen() const;

    AppContext& app_;
    FrameTrace trace_;
    TraceModel* model_;
    QTableView* table_;
    QTimer* poll_;
};
