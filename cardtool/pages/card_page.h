// CardPage: what every card page shares. A page is a form over the library:
// its buttons check the connection, call the library through ReaderApi with
// the connection's device address, and report to the main window's result
// line. Pages build their controls with the helpers below and call
// finishInit() at the end of their constructor.
#pragma once

#include <QWidget>
#include <functional>

#include "services/message_boxes.h"
#include "widgets/hex_edit.h"

class AppContext;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class ResultSink;
struct ReaderApi;

class CardPage : public QWidget {
    Q_OBJECT
  public:
    CardPage(AppContext& app, QWidget* parent);

    // Pages that lay themselves out over the whole view for the screen width.
    virtual bool fillsView() const { return false; }
    virtual void layOutFor(int screenWidth) { (void)screenWidth; }

  protected:
    // Translates the captions and names every control for screen readers.
    void finishInit();

    const ReaderApi& api() const;
    unsigned short icdev() const;
    bool connected() const;
    // False, after reporting text as the error, when no reader is connected.
    bool requireConnection(const QString& notConnected = QStringLiteral("Cannot connect to device"));
    ResultSink& result() const;
    // One library call's outcome on the result line; true when it succeeded
    // with the whole answer (see ReportCall).
    bool report(int code, const QString& failName, const QString& successText = QString(),
                bool shortAnswer = false);
    MessageBoxes& boxes() const;
    QString languageId() const;
    // The pauses the reader needs between field changes.
    static void pause(int milliseconds);

    QPushButton* makeButton(const QString& caption, const QString& objectName, std::function<void()> onClick);
    HexEdit* makeHex(const QString& objectName, int widthBytes = 0);
    // A caption that names its field for screen readers.
    QLabel* makeLabel(const QString& caption, QWidget* buddy);
    QComboBox* makeList(const QString& objectName);

    AppContext& app_;
};
