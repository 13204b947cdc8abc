#include "services/message_boxes.h"

#include <QMessageBox>

MessageBoxes::Answer QtMessageBoxes::show(QWidget* parent, const QString& text, const QString& caption,
                                          Icon icon, Buttons buttons) {
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::Critical, QMessageBox::Warning,
                                                   QMessageBox::Question, QMessageBox::Information};
    QMessageBox box(kIcons[icon], caption, text, QMessageBox::NoButton, parent);
    switch (buttons) {
    case Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return AnswerOk;
    case QMessageBox::Yes:
        return AnswerYes;
    case QMessageBox::No:
        return AnswerNo;
    default:
        return AnswerCancel;
    }
}
