#pragma once

#include <QColor>
#include <QIcon>
#include <QSize>
#include <QString>

class QPushButton;

/** Makes every icon of the program: an SVG resource drawn in one colour at an exact pixel size. */
class SvgIcon {
public:
    SvgIcon() = delete;

    /**
     * Renders @p path at @p size (physical pixels) with every painted pixel in @p color;
     * an empty size gives an empty icon.
     */
    static QIcon coloredIcon(const QString &path, const QColor &color, const QSize &size);
    /** Installs coloredIcon() on @p button and sets the button's icon size to @p size. */
    static void setColoredIcon(
        QPushButton *button, const QString &path, const QColor &color, const QSize &size);
};
