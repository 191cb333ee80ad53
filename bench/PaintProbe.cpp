#include "PaintProbe.h"

#include <QEvent>

namespace bench {

PaintProbe::PaintProbe(QWidget *widget, const QElapsedTimer &clock)
    : watched(widget)
    , clock(clock)
{
    widget->installEventFilter(this);
}

PaintProbe::~PaintProbe()
{
    if (watched)
        watched->removeEventFilter(this);
}

bool PaintProbe::eventFilter(QObject *object, QEvent *event)
{
    if (object == watched && event->type() == QEvent::Paint) {
        ++paints;
        lastPaintNs = clock.nsecsElapsed();
        paintTimes.push_back(lastPaintNs);
    }
    return false;
}

} // namespace bench
