#pragma once

#include <QLabel>
#include <QPushButton>
#include <QSlider>

/** A slider that jumps to the clicked point on a left press. */
class ClickableSlider : public QSlider {
    Q_OBJECT

public:
    ClickableSlider();
    using QSlider::QSlider;

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

/** A label that reports left presses. */
class ClickableLabel : public QLabel {
    Q_OBJECT

public:
    explicit ClickableLabel(QWidget *parent = nullptr);

signals:
    /** A left mouse button was pressed on the label. */
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

/** A push button that tells a right press apart from a click. */
class FavoriteButton : public QPushButton {
    Q_OBJECT

public:
    FavoriteButton();
    using QPushButton::QPushButton;

signals:
    /** The right mouse button was pressed on the button. */
    void rightClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
