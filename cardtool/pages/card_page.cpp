#include "pages/card_page.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "chrome/accessible_names.h"
#include "chrome/tab_order.h"
#include "services/app_context.h"
#include "services/library_calls.h"
#include "widgets/control_helpers.h"

CardPage::CardPage(AppContext& app, QWidget* parent) : QWidget(parent), app_(app) {
    // Captions and group titles in the tool's blue, on a see-through background.
    setStyleSheet(QStringLiteral("QLabel, QGroupBox, QCheckBox, QRadioButton { color: rgb(41, 101, 132); }"));
    setAttribute(Qt::WA_TranslucentBackground);
}

void CardPage::finishInit() {
    app_.catalog.translateWindow(this);
    nameControls(this);
    orderTabsWhenShown(this);
}

const ReaderApi& CardPage::api() const { return app_.api(); }
unsigned short CardPage::icdev() const { return app_.CurrentConnection.icdev(); }
bool CardPage::connected() const { return app_.CurrentConnection.IsConnected(); }

bool CardPage::requireConnection(const QString& notConnected) {
    if (connected()) return true;
    result().ShowError(notConnected);
    return false;
}

ResultSink& CardPage::result() const { return app_.results(); }
bool CardPage::report(int code, const QString& failName, const QString& successText, bool shortAnswer) {
    return ReportCall(result(), code, failName, successText, shortAnswer);
}

MessageBoxes& CardPage::boxes() const { return app_.boxes(); }
QString CardPage::languageId() const { return app_.LanguageId(); }

void CardPage::pause(int milliseconds) { LibraryCalls::pauseCurrent(milliseconds); }

QPushButton* CardPage::makeButton(const QString& caption, const QString& objectName,
                                  std::function<void()> onClick) {
    QPushButton* button = controls::button(caption, objectName, this);
    connect(button, &QPushButton::clicked, this, [handler = std::move(onClick)] { handler(); });
    return button;
}

HexEdit* CardPage::makeHex(const QString& objectName, int widthBytes) {
    auto* field = new HexEdit(this, widthBytes);
    field->setObjectName(objectName);
    return field;
}

QLabel* CardPage::makeLabel(const QString& caption, QWidget* buddy) {
    return controls::caption(caption, buddy, this);
}

QComboBox* CardPage::makeList(const QString& objectName) {
    auto* list = new QComboBox(this);
    list->setObjectName(objectName);
    return list;
}
