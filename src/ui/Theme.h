#pragma once

#include <QColor>
#include <QMap>
#include <QSize>
#include <QString>

/**
 * The look of the window in one place: the named colours, the icon sizes of
 * the size setting, and where the drawings are.
 */
class Theme {
public:
    Theme() = delete;

    /** Colour name to colour. */
    static QMap<QString, QColor> palette;
    /** Size class ("small", "normal", "large") to icon pixel size, as applySize() left it. */
    static QMap<QString, QSize> iconSize;

    /** One size setting: the three icon sizes, the favourite buttons' size and the grid's margin.
     */
    struct Sizes {
        QSize small;
        QSize normal;
        QSize large;
        QSize grid;
        int leftMargin;
    };

    /** The palette's colour @p name. */
    static QColor color(const char *name);
    /** The icon size of class @p name ("small", "normal", "large"). */
    static QSize size(const char *name);
    /** The resource path of the drawing @p name, e.g. "play". */
    static QString icon(const char *name);
    /**
     * Makes the size setting @p size ("small", "normal", "big") the icon sizes
     * and returns its row. An unknown setting gives the normal row, so icons
     * never come out blank.
     */
    static Sizes applySize(const QString &size);
};
