#include "ZelkImages.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace {

constexpr int ImageSize = 16;

const QColor Outline(60, 60, 60);
const QColor BellRed(220, 30, 30);
const QColor BellGrey(165, 165, 165);
const QColor BoxGreen(30, 170, 40);
const QColor FolderYellow(240, 200, 60);
const QColor FolderDark(170, 120, 20);
const QColor FunnelBlue(90, 130, 200);
const QColor CrossRed(210, 20, 20);

QPixmap Draw(const std::function<void(QPainter&)>& paint) {
    QPixmap pixmap(ImageSize, ImageSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return pixmap;
}

void DrawBell(QPainter& painter, const QColor& body) {
    QPainterPath bell;
    bell.moveTo(2, 12.5);
    bell.cubicTo(4, 11, 4, 9, 4, 7);
    bell.cubicTo(4, 3.5, 5.5, 2, 8, 2);
    bell.cubicTo(10.5, 2, 12, 3.5, 12, 7);
    bell.cubicTo(12, 9, 12, 11, 14, 12.5);
    bell.closeSubpath();
    painter.setPen(QPen(Outline, 1));
    painter.setBrush(body);
    painter.drawPath(bell);
    painter.drawEllipse(QPointF(8, 1.5), 1.2, 1.2);
    painter.drawEllipse(QPointF(8, 14), 1.6, 1.4);
}

// The acknowledged mark: a small green box in the upper right corner.
void DrawAckBox(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(BoxGreen.darker(160), 1));
    painter.setBrush(BoxGreen);
    painter.drawRect(11, 0, 4, 4);
}

void DrawFolder(QPainter& painter) {
    QPainterPath folder;
    folder.moveTo(1.5, 3.5);
    folder.lineTo(6, 3.5);
    folder.lineTo(7.5, 5);
    folder.lineTo(14.5, 5);
    folder.lineTo(14.5, 13.5);
    folder.lineTo(1.5, 13.5);
    folder.closeSubpath();
    painter.setPen(QPen(FolderDark, 1));
    painter.setBrush(FolderYellow);
    painter.drawPath(folder);
    painter.setBrush(FolderYellow.lighter(115));
    painter.drawRect(QRectF(1.5, 6.5, 13, 7));
}

// The funnel takes the upper left part, leaving the lower right corner for its mark.
void DrawFunnel(QPainter& painter) {
    QPolygonF funnel;
    funnel << QPointF(0.5, 1.5) << QPointF(12.5, 1.5) << QPointF(8, 7) << QPointF(8, 13)
           << QPointF(5, 11.5) << QPointF(5, 7);
    painter.setPen(QPen(FunnelBlue.darker(170), 1));
    painter.setBrush(FunnelBlue);
    painter.drawPolygon(funnel);
}

void DrawStroke(QPainter& painter, const QPainterPath& path, const QColor& colour, qreal width) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Outline, width + 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
}

QPixmap BuildBell(bool active, bool acknowledged) {
    return Draw([&](QPainter& painter) {
        DrawBell(painter, active ? BellRed : BellGrey);
        if (acknowledged)
            DrawAckBox(painter);
    });
}

} // namespace

const QList<QPixmap>& ZelkBellImages() {
    static const QList<QPixmap> bells{BuildBell(true, false), BuildBell(false, false),
                                      BuildBell(true, true), BuildBell(false, true)};
    return bells;
}

int ZelkBellIndex(bool active, bool acknowledged) {
    return (active ? 0 : 1) + (acknowledged ? 2 : 0);
}

QPixmap ZelkQuestionMarkImage() {
    static const QPixmap image = Draw([](QPainter& painter) {
        QPainterPath hook;
        hook.moveTo(4.5, 5);
        hook.arcTo(QRectF(4.5, 1.5, 7, 7), 180, -270);
        hook.lineTo(8, 10);
        DrawStroke(painter, hook, QColor(250, 210, 0), 2.2);
        painter.setPen(QPen(Outline, 1));
        painter.setBrush(QColor(250, 210, 0));
        painter.drawEllipse(QPointF(8, 13.5), 1.6, 1.6);
    });
    return image;
}

QPixmap ZelkFolderImage() {
    static const QPixmap image = Draw(DrawFolder);
    return image;
}

QPixmap ZelkFolderUpImage() {
    static const QPixmap image = Draw([](QPainter& painter) {
        DrawFolder(painter);
        QPainterPath arrow;
        arrow.moveTo(8, 12);
        arrow.lineTo(8, 2);
        arrow.moveTo(4.5, 5.5);
        arrow.lineTo(8, 2);
        arrow.lineTo(11.5, 5.5);
        DrawStroke(painter, arrow, BoxGreen, 1.6);
    });
    return image;
}

QPixmap ZelkFunnelAddImage() {
    static const QPixmap image = Draw([](QPainter& painter) {
        DrawFunnel(painter);
        QPainterPath plus;
        plus.moveTo(12, 8.5);
        plus.lineTo(12, 14.5);
        plus.moveTo(9, 11.5);
        plus.lineTo(15, 11.5);
        DrawStroke(painter, plus, BoxGreen, 1.8);
    });
    return image;
}

QPixmap ZelkFunnelDeleteImage() {
    static const QPixmap image = Draw([](QPainter& painter) {
        DrawFunnel(painter);
        QPainterPath cross;
        cross.moveTo(9.5, 9);
        cross.lineTo(14.5, 14);
        cross.moveTo(14.5, 9);
        cross.lineTo(9.5, 14);
        DrawStroke(painter, cross, CrossRed, 1.8);
    });
    return image;
}

QPixmap ZelkFunnelDefineImage() {
    static const QPixmap image = Draw([](QPainter& painter) {
        DrawFunnel(painter);
        QPolygonF bolt;
        bolt << QPointF(13, 6.5) << QPointF(9.5, 11) << QPointF(12, 11) << QPointF(10, 15.5)
             << QPointF(15, 10) << QPointF(12.5, 10) << QPointF(14.5, 6.5);
        painter.setPen(QPen(Outline, 0.8));
        painter.setBrush(QColor(255, 215, 0));
        painter.drawPolygon(bolt);
    });
    return image;
}
