// Message boxes behind one small interface: the tool asks, the interface
// answers. The real one shows a QMessageBox; tests put a scripted one in its
// place so that no test ever waits on a modal box.
#pragma once

#include <QString>

class QWidget;

class MessageBoxes {
  public:
    enum Icon { Stop, Exclamation, Question, Information };
    enum Buttons { Ok, OkCancel, YesNo };
    enum Answer { AnswerOk, AnswerCancel, AnswerYes, AnswerNo };

    virtual ~MessageBoxes() = default;
    virtual Answer show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                        Buttons buttons) = 0;

    // Input errors: "Error" with the stop icon.
    void error(QWidget* parent, const QString& text) {
        show(parent, text, QStringLiteral("Error"), Stop, Ok);
    }
    // Missing or doubtful input: "Warning" with the exclamation icon.
    void warning(QWidget* parent, const QString& text) {
        show(parent, text, QStringLiteral("Warning"), Exclamation, Ok);
    }
    // OK/Cancel; anything but OK abandons the operation.
    bool confirm(QWidget* parent, const QString& text, const QString& caption, Icon icon) {
        return show(parent, text, caption, icon, OkCancel) == AnswerOk;
    }
};

class QtMessageBoxes : public MessageBoxes {
  public:
    Answer show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                Buttons buttons) override;
};
