#include "chrome/accessible_names.h"

#include <QAbstractButton>
#include <QLabel>
#include <QWidget>

namespace {
QString withoutMnemonic(QString text) {
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}
} // namespace

void nameControls(QWidget* root) {
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>())
        if (!button->text().isEmpty()) button->setAccessibleName(withoutMnemonic(button->text()));
    for (QLabel* label : root->findChildren<QLabel*>())
        if (QWidget* buddy = label->buddy()) buddy->setAccessibleName(withoutMnemonic(label->text()));
}
