#include "chrome/tab_order.h"

#include <QEvent>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

namespace {

bool takesTab(const QWidget* w) { return (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus; }

// Two widgets share a row when they are of like height and their middles
// lie within half of it; a tall panel beside several rows is read on its own.
bool sameRow(const QWidget* a, const QWidget* b) {
    const int low = std::min(a->height(), b->height());
    const int high = std::max(a->height(), b->height());
    return high <= 2 * low && std::abs(a->geometry().center().y() - b->geometry().center().y()) <= low / 2;
}

// Children in reading order: rows from the top, each row left to right.
QList<QWidget*> readingOrder(const QWidget* parent) {
    QList<QWidget*> rest;
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isHidden() && !child->isWindow()) rest.append(child);
    std::stable_sort(rest.begin(), rest.end(),
                     [](const QWidget* a, const QWidget* b) { return a->y() < b->y(); });
    QList<QWidget*> ordered;
    while (!rest.isEmpty()) {
        const QWidget* first = rest.front();
        QList<QWidget*> row;
        rest.removeIf([&](QWidget* w) {
            if (w != first && !sameRow(first, w)) return false;
            row.append(w);
            return true;
        });
        std::stable_sort(row.begin(), row.end(),
                         [](const QWidget* a, const QWidget* b) { return a->x() < b->x(); });
        ordered += row;
    }
    return ordered;
}

// A control takes its place; anything else (group box, panel, the pages of
// a tab widget) is read inside. A tab page not shown yet is ordered when it is.
void collect(const QWidget* parent, QList<QWidget*>& out) {
    if (auto* stack = qobject_cast<const QStackedWidget*>(parent)) {
        for (int i = 0; i < stack->count(); ++i)
            if (stack->widget(i)->isHidden()) orderTabsWhenShown(stack->widget(i));
    }
    for (QWidget* child : readingOrder(parent)) {
        if (child == parent->focusProxy()) continue; // taken with its parent
        if (takesTab(child)) out.append(child);
        if (!takesTab(child) || qobject_cast<QTabWidget*>(child)) collect(child, out);
    }
}

class OrderOnShow : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) orderTabs(static_cast<QWidget*>(watched));
        return false;
    }
};

} // namespace

void orderTabs(QWidget* root) {
    QList<QWidget*> controls;
    collect(root, controls);
    for (qsizetype i = 1; i < controls.size(); ++i)
        QWidget::setTabOrder(controls[i - 1], controls[i]);
}

void orderTabsWhenShown(QWidget* root) {
    // Once for each window or page, however often it is asked.
    static const QString kName = QStringLiteral("tabOrderOnShow");
    if (root->findChild<QObject*>(kName, Qt::FindDirectChildrenOnly) != nullptr) return;
    auto* filter = new OrderOnShow(root);
    filter->setObjectName(kName);
    root->installEventFilter(filter);
}
