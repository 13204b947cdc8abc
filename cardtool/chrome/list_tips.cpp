#include "chrome/list_tips.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

namespace {

class LongEntryTips : public QObject {
  public:
    explicit LongEntryTips(QAbstractItemView* list) : QObject(list), list_(list) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip) return QObject::eventFilter(watched, event);
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = longEntryTip(list_, help->pos());
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, list_->viewport());
        return true;
    }

  private:
    QAbstractItemView* list_;
};

} // namespace

void showTipsForLongEntries(QAbstractItemView* list) {
    list->viewport()->installEventFilter(new LongEntryTips(list));
}

QString longEntryTip(const QAbstractItemView* list, const QPoint& pos) {
    const QModelIndex index = list->indexAt(pos);
    if (!index.isValid()) return {};
    const QString text = index.data(Qt::DisplayRole).toString();
    // The item views leave this margin on either side of an entry's text.
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int needed = list->fontMetrics().horizontalAdvance(text) + 2 * margin;
    // The entry may be scrolled partly out on the left, or run past the right edge.
    const QRect entry = list->visualRect(index);
    const int room = list->viewport()->width() - entry.left();
    return entry.left() < 0 || needed > room ? text : QString();
}
