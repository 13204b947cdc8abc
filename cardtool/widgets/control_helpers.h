// What pages, the purse group and the operation window build their controls
// with. The two groups name their controls by the group's prefix and the part
// they play ("purse" + "Sector" -> "purseSector"), so several of them can
// live on one page.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace controls {

inline QString partName(const QString& prefix, const QString& part) { return prefix + part; }

inline QRadioButton* radio(const QString& caption, const QString& name, QWidget* parent) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(name);
    return button;
}

inline QPushButton* button(const QString& caption, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

// A caption that names its field for screen readers.
inline QLabel* caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    if (buddy != nullptr) label->setObjectName(buddy->objectName() + QStringLiteral("Label"));
    return label;
}

} // namespace controls
