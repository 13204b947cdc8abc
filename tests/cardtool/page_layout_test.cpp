// Every page on a 1024 x 768 screen, in English and in Chinese: the window
// within the screen, the page's least size within the view, no control on top
// of another, and Tab going through the controls in reading order.
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>

#include "app/app.h"
#include "app/main_frame.h"
#include "app/view.h"
#include "tool_fixture.h"

using namespace tooltest;

namespace {

bool isControl(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QLabel*>(w) ||
           qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w);
}

// Visible controls of the page, leaving out the parts of a control (a combo box's line edit).
QList<QWidget*> controls(QWidget* page) {
    QList<QWidget*> out;
    for (QWidget* w : page->findChildren<QWidget*>()) {
        if (!w->isVisible() || !isControl(w)) continue;
        const QWidget* owner = w->parentWidget();
        if (qobject_cast<const QComboBox*>(owner) || qobject_cast<const QAbstractSpinBox*>(owner)) continue;
        out.append(w);
    }
    return out;
}

QRect placeIn(const QWidget* w, const QWidget* on) { return QRect(w->mapTo(on, QPoint(0, 0)), w->size()); }

QString name(const QWidget* w) {
    return w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
}

} // namespace

class PageLayoutTest : public QObject {
    Q_OBJECT
  private slots:
    void everyPageFitsAndReads_data() {
        QTest::addColumn<int>("card");
        QTest::addColumn<QString>("language");
        for (const char* language : {"en_US", "zh_CN"})
            for (int card = 0; card < kCardTypes; ++card)
                QTest::addRow("%s card %d", language, card) << card << QString(language);
    }
    void everyPageFitsAndReads() {
        QFETCH(int, card);
        QFETCH(QString, language);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(screen.size(), QSize(1024, 768));
        RunningTool tool(nullptr, language);
        CMainFrame* frame = tool.app->mainFrame();
        frame->OnCardType(card);
        QVERIFY(screen.contains(frame->frameGeometry()));
        QWidget* view = frame->view();
        QWidget* page = tool.page();
        const QSize least = page->minimumSizeHint();
        QVERIFY2(least.width() <= view->width() && least.height() <= view->height(),
                 qPrintable(QStringLiteral("needs %1x%2, view %3x%4")
                                .arg(least.width())
                                .arg(least.height())
                                .arg(view->width())
                                .arg(view->height())));

        const QList<QWidget*> shown = controls(page);
        for (qsizetype i = 0; i < shown.size(); ++i) {
            const QRect a = placeIn(shown[i], view);
            QVERIFY2(view->rect().contains(a), qPrintable(name(shown[i]) + " leaves the view"));
            for (qsizetype j = i + 1; j < shown.size(); ++j)
                QVERIFY2(!a.intersects(placeIn(shown[j], view)),
                         qPrintable(name(shown[i]) + " overlaps " + name(shown[j])));
        }

        // Within one container, Tab goes right along a row (each one's middle
        // within the other's height) or on to a row that does not start higher up.
        QList<QWidget*> chain;
        for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain())
            if (page->isAncestorOf(w) && w->isVisible() && (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus)
                chain.append(w);
        for (qsizetype i = 1; i < chain.size(); ++i) {
            const QWidget* a = chain[i - 1];
            const QWidget* b = chain[i];
            if (a->parentWidget() != b->parentWidget()) continue;
            const QRect ra = a->geometry(), rb = b->geometry();
            const auto within = [](int y, const QRect& r) { return y >= r.top() && y <= r.bottom(); };
            const bool sameRow = within(rb.center().y(), ra) && within(ra.center().y(), rb);
            QVERIFY2(sameRow ? rb.x() > ra.x() : rb.center().y() >= ra.top(),
                     qPrintable(QStringLiteral("Tab from %1 (%2,%3) to %4 (%5,%6)")
                                    .arg(name(a))
                                    .arg(ra.x())
                                    .arg(ra.y())
                                    .arg(name(b))
                                    .arg(rb.x())
                                    .arg(rb.y())));
        }
    }
};

OSKELLE_TEST(PageLayoutTest);
#include "page_layout_test.moc"
