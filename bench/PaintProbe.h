#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace bench {

/** Counts paint events of one widget and notes when each one ended. */
class PaintProbe : public QObject {
public:
    PaintProbe(QWidget *widget, const QElapsedTimer &clock);
    ~PaintProbe() override;

    int paints = 0;
    qint64 lastPaintNs = 0;
    std::vector<qint64> paintTimes;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    QPointer<QWidget> watched;
    const QElapsedTimer &clock;
};

} // namespace bench
