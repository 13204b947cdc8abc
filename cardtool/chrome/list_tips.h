// Tool-tips over list entries too long for their list: resting the pointer on
// an entry that the list cuts off shows its whole text; an entry that fits
// shows nothing, so the tip never just repeats what is on screen.
#pragma once

#include <QString>

class QAbstractItemView;
class QPoint;

// Installs the tips on the list's viewport for as long as the list lives.
void showTipsForLongEntries(QAbstractItemView* list);

// The tip for the pointer at pos (viewport coordinates): the whole text of the
// entry there when the list shows only part of it, else empty.
QString longEntryTip(const QAbstractItemView* list, const QPoint& pos);
