// CMainFrame: the fixed-size main window. Menu, card-type toolbar, the view
// with the current card page, the title that doubles as status line, and the
// result line. It also carries the connection commands that work without the
// settings window.
#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <array>

#include "app/result_line.h"
#include "services/connection_info.h"

class CTavistoApp;
class CTavistoView;
class OperationBar;
class TracePane;
class QAction;
class QActionGroup;
class QToolBar;

// Where the main window's inside goes on a screen: the whole window, its
// frame (margins) included, is 1024 x 768 at (10, 10) of the screen's free
// area, made smaller and moved up or left where that area is smaller.
QRect MainWindowGeometry(const QRect& available, const QMargins& frame);

class CMainFrame : public QMainWindow, public ResultSink {
    Q_OBJECT
  public:
    explicit CMainFrame(CTavistoApp& app);
    ~CMainFrame() override;

    void ShowResult(int code, const QString& functionName = QString()) override;
    void ShowError(const QString& text) override;
    void ShowSuccess(const QString& text) override;
    void ShowStopped(const QString& text) override;
    ResultLine* resultLine() const { return result_; }
    OperationBar* operationBar() const { return operationBar_; }
    TracePane* tracePane() const { return tracePane_; }
    CTavistoView* view() const { return view_; }

    // The title line: product, card type and the port in use. The settings
    // window calls it after every change of the selected port.
    void UpdateTitle();
    // Enables Connect, Disconnect and the DES calculator for the current state.
    void UpdateCommands();
    void SelectCardType(int cardType);

    // Menu commands.
    void OnCardType(int cardType);
    void OnConnect();
    void OnDisconnect();
    void OnSetting();
    void OnDesCalculator();
    void OnAbout();

    QAction* cardTypeAction(int cardType) const { return cardActions_[cardType]; }
    QAction* connectAction() const { return connect_; }
    QAction* disconnectAction() const { return disconnect_; }
    QAction* settingAction() const { return setting_; }
    QAction* desAction() const { return des_; }
    QDialog* desCalculator() const { return desCalculator_; }
    QToolBar* cardToolBar() const { return toolBar_; }
    // No menu of bars to hide: the card-type toolbar is always there.
    QMenu* createPopupMenu() override { return nullptr; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildMenu();
    void buildToolBar();
    void connectAtStart();
    void placeResultLine();
    void fitToScreen();
    void remember(const ConnectionInfo& connection);

    CTavistoApp& app_;
    CTavistoView* view_;
    ResultLine* result_;
    OperationBar* operationBar_ = nullptr;
    TracePane* tracePane_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QActionGroup* cardGroup_ = nullptr;
    std::array<QAction*, 10> cardActions_{};
    QAction* setting_ = nullptr;
    QAction* connect_ = nullptr;
    QAction* disconnect_ = nullptr;
    QAction* des_ = nullptr;
    QPointer<QDialog> desCalculator_;
};
