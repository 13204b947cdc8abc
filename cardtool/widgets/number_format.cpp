#include "widgets/number_format.h"

#include <QRegularExpression>

QString FormatNumber(const QString& pattern, long long value) {
    static const QRegularExpression conversion(QStringLiteral("%(0?)([0-9]{0,2})([dxX])"));
    const QRegularExpressionMatch match = conversion.match(pattern);
    if (!match.hasMatch()) return pattern;
    const QChar kind = match.captured(3).at(0);
    // %x shows the bits of a C int: a negative value as its 32-bit pattern.
    QString digits = kind == u'd' ? QString::number(value) : QString::number(static_cast<quint32>(value), 16);
    if (kind == u'X') digits = digits.toUpper();
    const int width = match.captured(2).toInt();
    const QChar pad = match.captured(1).isEmpty() ? QChar(u' ') : QChar(u'0');
    QString text = pattern;
    return text.replace(match.capturedStart(), match.capturedLength(), digits.rightJustified(width, pad));
}
