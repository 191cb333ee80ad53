#pragma once

#include <QString>

/**
 * Every time text the player shows or stores, side by side: a track's
 * length as the library records and caches it, the reading of that text
 * back, the position display, and the queue's total. None of them wraps its
 * largest unit: a 62-minute track is "62:05", never "1:02:05".
 */
class TimeText {
public:
    TimeText() = delete;

    /**
     * A track's length in milliseconds as "m:ss", whole seconds cut off:
     * 0 ms, negative or under a second is "0:00", 3725000 ms "62:05". The
     * cache stores this text, so its form must not change.
     */
    static QString length(qint64 ms);
    /**
     * The seconds of a length text: "m:ss" with 1 to 9 digits of minutes and
     * seconds below 60, 0 for anything else (a damaged or hand-edited cache).
     */
    static qint64 lengthSeconds(const QString &text);
    /**
     * A playing position or length in milliseconds as "mm:ss", the minutes
     * padded to two digits: 0 ms is "00:00", 3725000 ms "62:05", a negative
     * time (a position past a length not yet known) "00:00".
     */
    static QString position(qint64 ms);
    /**
     * A sum of lengths in seconds as "h:mm:ss" from an hour on, else "m:ss":
     * 3599 s is "59:59", 3600 s "1:00:00", 36061 s "10:01:01".
     */
    static QString total(qint64 seconds);
};
