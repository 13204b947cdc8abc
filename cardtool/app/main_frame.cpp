#include "app/main_frame.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>
#include <QWindow>
#include <algorithm>

#include "app/about_dialog.h"
#include "app/app.h"
#include "app/operation_bar.h"
#include "app/trace_pane.h"
#include "app/view.h"
#include "chrome/icons.h"
#include "pages/des_calculator.h"
#include "services/message_boxes.h"

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kOffset = 10; // from the top left corner of the screen's free area

constexpr std::array<const char*, 10> kMenuTexts{"Ultra Light", "Mifare One", "AT88RF020", "SR176",
                                                 "SRIX4K",      "ISO14443-4", "ISO15693",  "SAM",
                                                 "MifarePlus",  "ICode1"};

} // namespace

QRect MainWindowGeometry(const QRect& available, const QMargins& frame) {
    const auto fit = [](int start, int room, int wanted) {
        const int size = std::clamp(wanted, 0, std::max(room, 0));
        return std::pair{start + std::min(kOffset, room - size), size};
    };
    const auto [left, width] = fit(available.left(), available.width(), kWidth);
    const auto [top, height] = fit(available.top(), available.height(), kHeight);
    return QRect(left, top, width, height).marginsRemoved(frame);
}

CMainFrame::CMainFrame(CTavistoApp& app) : app_(app), view_(nullptr), result_(nullptr) {
    setObjectName("mainFrame");
    setWindowIcon(programIcon());
    // Fixed size and place, no maximise box.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    fitToScreen();

    view_ = new CTavistoView(app_, this);
    setCentralWidget(view_);
    view_->ShowPage(app_.CurCard);
    buildToolBar();
    // A window of its own at first: docked, it would take room from the page.
    tracePane_ = new TracePane(app_, this);
    tracePane_->setAllowedAreas(Qt::BottomDockWidgetArea);
    addDockWidget(Qt::BottomDockWidgetArea, tracePane_);
    tracePane_->setFloating(true);
    tracePane_->move(geometry().left() + 40, geometry().bottom() - tracePane_->height() - 40);
    tracePane_->hide();
    buildMenu();
    // In the window, never in a desktop's global menu bar: the result line
    // sits on it, and a bar taken out of the window would hide every result.
    menuBar()->setNativeMenuBar(false);
    result_ = new ResultLine(this);
    result_->raise();
    placeResultLine();
    operationBar_ = new OperationBar(
        app_.library.calls(), *this, [this](const QString& text) { return app_.Translate(text); }, this);
    placeResultLine();
    SelectCardType(app_.CurCard);
    UpdateCommands();
    connectAtStart();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName("mainMenu");
    QMenu* file = bar->addMenu("File(&F)");
    file->addSeparator();
    QAction* exit = file->addAction("Exit(&X)", this, &QWidget::close);
    exit->setObjectName("exit");

    QMenu* cards = bar->addMenu("Card type(&I)");
    for (int type = 0; type < kCardTypes; ++type) {
        cards->addAction(cardActions_[type]);
        cardActions_[type]->setText(kMenuTexts[type]);
    }

    QMenu* settings = bar->addMenu("Setting(&P)");
    setting_ = settings->addAction("Setting", this, &CMainFrame::OnSetting);
    settings->addSeparator();
    disconnect_ = settings->addAction("Disconnect", this, &CMainFrame::OnDisconnect);
    connect_ = settings->addAction("Connect", this, &CMainFrame::OnConnect);
    setting_->setObjectName("setting");
    disconnect_->setObjectName("disconnect");
    connect_->setObjectName("connect");
    // The settings window may connect or disconnect behind the menu's back.
    connect(settings, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);

    QMenu* view = bar->addMenu("View(&V)");
    view->addAction(tracePane_->toggleViewAction());

    QMenu* tools = bar->addMenu("&Tools");
    des_ = tools->addAction("&DES Caculator", this, &CMainFrame::OnDesCalculator);
    des_->setObjectName("desCalculator");
    connect(tools, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);

    QMenu* help = bar->addMenu("About(&H)");
    help->addAction("About Oskelle", this, &CMainFrame::OnAbout)->setObjectName("about");

    app_.catalog.translateMenu(bar, app_.LangID);
}

void CMainFrame::buildToolBar() {
    toolBar_ = addToolBar("Card type");
    toolBar_->setObjectName("cardTypes");
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(16, 16));
    cardGroup_ = new QActionGroup(this);
    cardGroup_->setExclusive(true);
    for (int type = 0; type < kCardTypes; ++type) {
        QAction* action = new QAction(cardTypeIcon(type), kMenuTexts[type], this);
        action->setObjectName(QStringLiteral("cardType%1").arg(type));
        action->setCheckable(true);
        action->setToolTip(CTavistoApp::CardTypeName(type).trimmed());
        cardGroup_->addAction(action);
        connect(action, &QAction::triggered, this, [this, type] { OnCardType(type); });
        cardActions_[type] = action;
        toolBar_->addAction(action);
    }
}

void CMainFrame::connectAtStart() {
    ConnectionInfo& current = app_.CurrentConnection;
    // A TCP reader may be far away or switched off: never dial it unasked.
    if (current.IsTcp()) return;
    const int handle = app_.api().rf_init_com(current.port, current.baudRate);
    if (handle >= 0) {
        current.handle = handle;
        remember(current);
    } else {
        app_.boxes().show(this, app_.Translate("Connect device failed!"), app_.Translate("Error"),
                          MessageBoxes::Stop, MessageBoxes::Ok);
    }
    UpdateCommands();
    UpdateTitle();
}

void CMainFrame::remember(const ConnectionInfo& connection) {
    app_.Ports.Set(connection.portName, connection);
}

void CMainFrame::ShowResult(int code, const QString& functionName) {
    result_->ShowResult(code, functionName);
}
void CMainFrame::ShowError(const QString& text) { result_->ShowError(text); }
void CMainFrame::ShowSuccess(const QString& text) { result_->ShowSuccess(text); }
void CMainFrame::ShowStopped(const QString& text) { result_->ShowStopped(text); }

void CMainFrame::UpdateTitle() {
    setWindowTitle(app_.GetAppInfo(2) + QStringLiteral("  -  ") + CTavistoApp::CardTypeName(app_.CurCard) +
                   QStringLiteral("[Reader:") + app_.CurrentConnection.portName + QStringLiteral("]"));
}

void CMainFrame::UpdateCommands() {
    const bool connected = app_.CurrentConnection.IsConnected();
    connect_->setEnabled(!connected);
    disconnect_->setEnabled(connected);
    des_->setEnabled(desCalculator_.isNull());
}

void CMainFrame::SelectCardType(int cardType) {
    if (cardType >= 0 && cardType < kCardTypes) cardActions_[cardType]->setChecked(true);
    UpdateTitle();
}

void CMainFrame::OnCardType(int cardType) {
    if (cardType == app_.CurCard) {
        // Keep the page as it is; just keep its button pressed.
        cardActions_[cardType]->setChecked(true);
        return;
    }
    app_.CurCard = cardType;
    SelectCardType(cardType);
    view_->ShowPage(cardType);
}

void CMainFrame::OnConnect() {
    ConnectionInfo& current = app_.CurrentConnection;
    if (current.IsConnected()) return;
    const int handle = current.IsTcp()
                           ? app_.api().rf_init_net(current.ipAddr.toLatin1().constData(), current.tcpPort)
                           : app_.api().rf_init_com(current.port, current.baudRate);
    if (handle < 0) {
        ShowError("Connect device failed!");
    } else {
        current.handle = handle;
        remember(current);
        ShowSuccess("Connect device success");
    }
    UpdateCommands();
}

void CMainFrame::OnDisconnect() {
    ConnectionInfo& current = app_.CurrentConnection;
    if (!current.IsConnected()) return;
    app_.api().rf_ClosePortVer5(current.icdev());
    current.handle = -1;
    remember(current);
    ShowSuccess("Disconnect operation successfully");
    UpdateCommands();
}

void CMainFrame::OnSetting() {
    view_->OpenSettings();
    UpdateCommands();
    UpdateTitle();
}

void CMainFrame::OnDesCalculator() {
    if (desCalculator_) return;
    auto* calculator = new CDesCalculatorDlg(app_, this);
    // Closing the calculator hands it back to the main window, which destroys it.
    connect(calculator, &QDialog::finished, this, [this, calculator] {
        calculator->deleteLater();
        desCalculator_ = nullptr;
        UpdateCommands();
    });
    desCalculator_ = calculator;
    calculator->show();
    UpdateCommands();
}

void CMainFrame::OnAbout() {
    CAboutDlg about(app_, this);
    about.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Every port still connected is closed, the one in use and any other the
    // settings window opened.
    for (ConnectionInfo port : app_.Ports.Entries()) {
        if (!port.IsConnected()) continue;
        app_.api().rf_ClosePortVer5(port.icdev());
        port.handle = -1;
        app_.Ports.Set(port.portName, port);
    }
    if (app_.CurrentConnection.IsConnected()) app_.CurrentConnection.handle = -1;
    if (desCalculator_) desCalculator_->close();
    event->accept();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    placeResultLine();
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The frame's size is known once the window is on screen.
    fitToScreen();
}

void CMainFrame::fitToScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect inside = screen ? MainWindowGeometry(screen->availableGeometry(), frame)
                                : QRect(10, 10, kWidth, kHeight).marginsRemoved(frame);
    setFixedSize(inside.size());
    move(inside.topLeft() - QPoint(frame.left(), frame.top()));
}

void CMainFrame::placeResultLine() {
    if (operationBar_ != nullptr) {
        const int height = operationBar_->sizeHint().height();
        operationBar_->setGeometry(0, this->height() - height, width(), height);
    }
    if (result_ == nullptr) return;
    // The bar's height where it has one; the line's own otherwise.
    const QRect bar = menuBar()->geometry();
    const int height = bar.height() > 0 ? bar.height() : result_->sizeHint().height();
    const int right = width() - 4;
    result_->setGeometry(right - ResultLine::kWidth, std::max(bar.top(), 0), ResultLine::kWidth, height);
}
