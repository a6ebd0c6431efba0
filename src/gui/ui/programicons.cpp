#include "gui/ui/programicons.h"

#include "core/features/shell/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace keldor {

namespace {

// The pictures are drawn on a 64-unit square and scaled to the size asked for.
constexpr int drawingSize = 64;

QImage draw(const std::function<void(QPainter &)> &paint, int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(qreal(size) / drawingSize, qreal(size) / drawingSize);
    paint(painter);
    return image;
}

// A dish aimed at a small satellite: the program talks to satellite headends.
void paintSatellite(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x4e, 0x8c));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    QPainterPath dish;
    dish.moveTo(10, 22);
    dish.quadTo(14, 52, 44, 56);
    dish.closeSubpath();
    p.setBrush(QColor(0xf2, 0xf2, 0xf2));
    p.drawPath(dish);

    p.setPen(QPen(QColor(0xf2, 0xf2, 0xf2), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(27, 39), QPointF(38, 28));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xc4, 0x3d));
    p.drawEllipse(QPointF(39, 27), 3.5, 3.5);

    p.save();
    p.translate(48, 16);
    p.rotate(45);
    p.setBrush(QColor(0x8f, 0xd3, 0xff));
    p.drawRect(QRectF(-11, -3, 7, 6));
    p.drawRect(QRectF(4, -3, 7, 6));
    p.setBrush(QColor(0xff, 0xc4, 0x3d));
    p.drawRect(QRectF(-3.5, -4.5, 7, 9));
    p.restore();
}

void paintCheck(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x00, 0xc0, 0x00));
    p.drawEllipse(QRectF(4, 4, 56, 56));
    p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(18, 33);
    tick.lineTo(28, 43);
    tick.lineTo(46, 22);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
}

void paintCross(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0x00, 0x00));
    p.drawEllipse(QRectF(4, 4, 56, 56));
    p.setPen(QPen(Qt::white, 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(22, 22), QPointF(42, 42));
    p.drawLine(QPointF(42, 22), QPointF(22, 42));
}

} // namespace

QImage paintedIcon(const QString &fileName, int size)
{
    if (fileName == QLatin1String("sat.ico"))
        return draw(paintSatellite, size);
    if (fileName == QLatin1String("check.ico"))
        return draw(paintCheck, size);
    if (fileName == QLatin1String("cross.ico"))
        return draw(paintCross, size);
    return {};
}

QIcon programIcon(const QString &fileName)
{
    QPixmap stored(programFile(fileName));
    if (stored.isNull()) {
        if (const QString installed = installedDataFolder(QCoreApplication::applicationDirPath());
            !installed.isEmpty())
            stored.load(QDir(installed).filePath(fileName));
    }
    return QIcon(stored.isNull() ? QPixmap::fromImage(paintedIcon(fileName)) : stored);
}

} // namespace keldor
