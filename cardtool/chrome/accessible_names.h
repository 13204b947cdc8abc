// Names for screen readers and UI automation. Buttons, check boxes and radio
// buttons are named by their caption; fields and lists by the caption of the
// label that names them (QLabel::setBuddy). Called once a window's captions
// are translated, so the names follow the language.
#pragma once

class QWidget;

void nameControls(QWidget* root);
