#include "ui/widgets/CoverView.h"

#include <QPainter>

CoverView::CoverView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("coverView"));
    setFixedSize(side, side);
    setAccessibleName(tr("Cover art"));
    setAccessibleDescription(tr("No cover art"));
}

void CoverView::setImage(const QImage &image)
{
    shown = image;
    scaled = QPixmap();
    setAccessibleDescription(
        image.isNull() ? tr("No cover art") : tr("The cover of the playing track"));
    update();
}

QImage CoverView::image() const
{
    return shown;
}

void CoverView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = rect();
    if (shown.isNull()) {
        // Quiet: a faint square with a record in it, in the palette's own greys.
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor line = palette().color(QPalette::Mid);
        painter.setPen(QPen(line, 1));
        painter.setBrush(palette().color(QPalette::Window).darker(104));
        painter.drawRoundedRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        painter.setBrush(Qt::NoBrush);
        const QPointF centre = QRectF(area).center();
        painter.drawEllipse(centre, side * 0.28, side * 0.28);
        painter.drawEllipse(centre, side * 0.06, side * 0.06);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize target = (shown.size().scaled(area.size(), Qt::KeepAspectRatio) * ratio);
    if (scaled.isNull() || scaled.size() != target) {
        scaled = QPixmap::fromImage(
            shown.scaled(target, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        scaled.setDevicePixelRatio(ratio);
    }
    const QSizeF drawn = QSizeF(scaled.size()) / ratio;
    const QPointF topLeft((area.width() - drawn.width()) / 2, (area.height() - drawn.height()) / 2);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(topLeft, scaled);
}
