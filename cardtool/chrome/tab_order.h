// Tab goes through a window's controls in reading order: left to right, top
// to bottom, a group box or panel read whole where it stands.
#pragma once

class QWidget;

// Sets the order now, from where the controls stand.
void orderTabs(QWidget* root);
// Sets it again each time root is shown, once its layout has placed the controls.
void orderTabsWhenShown(QWidget* root);
