#include "ui/widgets/ProgressBar.h"

#include <QMouseEvent>
#include <QStyle>

ClickableSlider::ClickableSlider()
    : QSlider()
{
}

void ClickableSlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        // Jump to the pointer first, so the base press below finds the handle
        // under it and starts an ordinary drag.
        const int value = QStyle::sliderValueFromPosition(
            minimum(), maximum(), event->pos().x(), width(), false);
        setValue(value);
        emit sliderMoved(value);
        event->accept();
    }
    QSlider::mousePressEvent(event);
}

ClickableLabel::ClickableLabel(QWidget *parent)
    : QLabel(parent, Qt::WindowFlags())
{
}

void ClickableLabel::mousePressEvent(QMouseEvent *event)
{
    // Deliberately not passed on: the label has no press behaviour worth keeping.
    if (event->button() == Qt::LeftButton)
        emit clicked();
}

FavoriteButton::FavoriteButton()
    : QPushButton()
{
}

void FavoriteButton::mousePressEvent(QMouseEvent *event)
{
    // A right press never reaches the button: no pressed look and no clicked().
    if (event->button() == Qt::RightButton) {
        emit rightClicked();
        return;
    }
    QAbstractButton::mousePressEvent(event);
}
