#pragma once

#include "playback/PlayOrder.h"

#include <QColor>
#include <QList>
#include <QWidget>

class ClickableLabel;
class ClickableSlider;
class QPushButton;
class QSlider;

/**
 * The transport row: previous, shuffle, play/pause, stop, loop and next, the
 * position slider and the clock below them, and the volume row with its mute
 * button. A view: it sends what the user asks for and shows the state it is
 * given, tinted in the colour it is given at the theme's icon sizes.
 */
class PlayerControls : public QWidget {
    Q_OBJECT

public:
    /** The controls, with @p statusLine shown at the start of the volume row. */
    explicit PlayerControls(QWidget *statusLine, QWidget *parent = nullptr);

    /** The controls in reading order, for the window's tab order. */
    QList<QWidget *> focusOrder() const;

    /** Makes @p color the tint: stop, previous and next at once, the others with their state. */
    void setColor(const QColor &color);
    /** Shows pause while @p playing, else play. */
    void setPlaying(bool playing);
    void setShuffle(bool on);
    /** Shows loop mode @p mode; in track mode the tool tip reads @p trackToolTip. */
    void setLoopMode(PlayOrder::LoopMode mode, const QString &trackToolTip);
    /** Shows the volume @p percent on the slider (without volumeMoved()), its tip and the speaker.
     */
    void setVolume(float percent);
    /** Makes the position slider's range 0 to @p ms. */
    void setDuration(qint64 ms);
    /** Moves the position slider to @p ms, unless the user holds it. */
    void setPosition(qint64 ms);
    /** Shows @p text on the clock. */
    void setTimeText(const QString &text);

signals:
    void playPauseClicked();
    void stopClicked();
    void previousClicked();
    void nextClicked();
    void shuffleClicked();
    void loopClicked();
    void muteClicked();
    /** The user moved the volume slider to @p percent. */
    void volumeMoved(int percent);
    /** The user dragged the position slider to @p ms. */
    void seekRequested(int ms);
    /** The clock was clicked: it may switch between elapsed and remaining time. */
    void timeClicked();

private:
    QPushButton *playPause;
    QPushButton *previous;
    QPushButton *forward;
    QPushButton *stop;
    QPushButton *shuffle;
    QPushButton *looping;
    QPushButton *mute;
    QSlider *volume;
    ClickableSlider *slider;
    ClickableLabel *timeLabel;
    QColor mainColor;
};
