#include "chrome/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

namespace {

struct CardLook {
    const char* mark;
    QRgb colour;
};

// Two letters on a card of the family's colour, readable at 16 x 16.
constexpr std::array<CardLook, 10> kLooks{{{"UL", 0x2E7D32},
                                           {"M1", 0x1565C0},
                                           {"AT", 0x6A1B9A},
                                           {"SR", 0xAD1457},
                                           {"SX", 0xC62828},
                                           {"-4", 0x00838F},
                                           {"15", 0xEF6C00},
                                           {"SA", 0x4E342E},
                                           {"M+", 0x283593},
                                           {"I1", 0x558B2F}}};

QPixmap canvas(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon drawCard(const CardLook& look, int size) {
    QPixmap pixmap = canvas(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(look.colour));
    p.drawRoundedRect(QRectF(0.5, 2.5, size - 1, size - 5), 2, 2);
    QFont font = p.font();
    font.setPixelSize(size * 9 / 16);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(pixmap.rect(), Qt::AlignCenter, QString::fromLatin1(look.mark));
    return QIcon(pixmap);
}

} // namespace

QIcon cardTypeIcon(int cardType) {
    if (cardType < 0 || cardType >= static_cast<int>(kLooks.size())) return QIcon();
    return drawCard(kLooks[cardType], 16);
}

QIcon resultIcon(bool success) {
    QPixmap pixmap = canvas(16);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(success ? QColor(0x2E7D32) : QColor(0xC62828));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (success) {
        QPainterPath tick;
        tick.moveTo(4.5, 8.5);
        tick.lineTo(7, 11);
        tick.lineTo(11.5, 5.5);
        p.drawPath(tick);
    } else {
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
    }
    return QIcon(pixmap);
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(drawCard({"Os", 0x296584}, size).pixmap(size, size));
    return icon;
}
