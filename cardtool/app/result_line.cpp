#include "app/result_line.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

#include "chrome/icons.h"

ResultLine::ResultLine(QWidget* parent) : QWidget(parent), icon_(new QLabel(this)), text_(new QLabel(this)) {
    setObjectName("resultLine");
    // The band has a name of its own; its two labels speak the state and the text.
    setAccessibleName("Result");
    icon_->setObjectName("resultIcon");
    text_->setObjectName("resultText");
    text_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    text_->setTextFormat(Qt::PlainText);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(text_, 1);
    row->addWidget(icon_);
    icon_->setFixedSize(16, 16);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QString ResultLine::resultText(int code, const QString& functionName) {
    if (code != 0) {
        QString text = QStringLiteral("Error: %1").arg(static_cast<unsigned int>(code), 0, 16);
        if (!functionName.isEmpty()) text += QStringLiteral(" ,Function: ") + functionName;
        return text;
    }
    if (functionName.isEmpty()) return QStringLiteral("Operation success");
    return QStringLiteral(" Operation success ,Function: ") + functionName;
}

void ResultLine::ShowResult(int code, const QString& functionName) {
    show(resultText(code, functionName), code != 0);
}

void ResultLine::ShowError(const QString& text) { show(QStringLiteral("Error: ") + text, true); }

void ResultLine::ShowSuccess(const QString& text) { show(text, false); }

void ResultLine::ShowStopped(const QString& text) { show(text, true, false); }

QString ResultLine::text() const { return text_->text(); }

void ResultLine::show(const QString& text, bool error, bool beep) {
    error_ = error;
    text_->setText(text);
    icon_->setPixmap(resultIcon(!error).pixmap(16, 16));
    icon_->setAccessibleName(error ? QStringLiteral("Error") : QStringLiteral("Success"));
    if (error && beep) QApplication::beep();
    emit shown(text);
}
