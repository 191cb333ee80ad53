#include "ui/SvgIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>

QIcon SvgIcon::coloredIcon(const QString &path, const QColor &color, const QSize &size)
{
    // Before the icon sizes are known (the core's start announces the volume
    // first) there is nothing to draw on: a painter on an empty pixmap only
    // warns. The repaint with the sizes follows.
    if (size.isEmpty())
        return QIcon();
    // An unknown path leaves the renderer invalid; it then draws nothing and
    // the caller still gets a transparent icon of the size it asked for.
    QSvgRenderer renderer(path);

    // Exact pixel size, no device-pixel-ratio: the size tables are in pixels
    // and a scaled screen enlarges the finished pixmap itself.
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);

    // Only the drawing's shape counts: SourceIn repaints every pixel in the
    // requested colour and keeps the coverage the drawing gave it.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    painter.end();

    return QIcon(pixmap);
}

void SvgIcon::setColoredIcon(
    QPushButton *button, const QString &path, const QColor &color, const QSize &size)
{
    button->setIcon(coloredIcon(path, color, size));
    button->setIconSize(size);
}
