// The tool's small icons, drawn in code: one per card type for the toolbar
// and the "Card type" menu, the result line's success and error marks, and
// the program icon.
#pragma once

#include <QIcon>

QIcon cardTypeIcon(int cardType);
QIcon resultIcon(bool success);
QIcon programIcon();
