#include "app/view.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "connection/setting_dlg.h"
#include "pages/card_page.h"
#include "pages/page_factory.h"
#include "services/app_context.h"

CTavistoView::CTavistoView(AppContext& app, QWidget* parent) : QWidget(parent), app_(app) {
    setObjectName("view");
}

void CTavistoView::ShowPage(int cardType) {
    cardType_ = cardType;
    // A page's state lasts only while it is shown: the old one goes entirely.
    delete page_;
    page_ = CreatePage(cardType, app_, this);
    layOutPage();
    if (page_ != nullptr) page_->show();
}

bool CTavistoView::OpenSettings() {
    CSettingDlg settings(app_, window());
    return settings.exec() == QDialog::Accepted;
}

void CTavistoView::layOutPage() {
    if (page_ == nullptr) return;
    auto* page = qobject_cast<CardPage*>(page_);
    if (page != nullptr && page->fillsView()) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        page->setGeometry(rect());
        page->layOutFor(screen ? screen->geometry().width() : width());
        return;
    }
    const QSize size = page_->sizeHint().boundedTo(this->size());
    page_->setGeometry(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size));
}

void CTavistoView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOutPage();
}

void CTavistoView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int h = height();
    painter.fillRect(rect(), Qt::white);
    const int band = h / 2 < 168 ? h / 4 : 84;
    for (int i = 0; i < band; ++i) {
        const QColor colour(171 + i, 188 + 67 * i / band, 199 + 56 * i / band);
        painter.setPen(colour);
        painter.drawLine(0, i, width(), i);
        painter.drawLine(0, h - 1 - i, width(), h - 1 - i);
    }
}
