#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

/**
 * The playing track's cover art, a fixed square beside the favourite button:
 * the picture scaled smoothly to fit, its aspect kept, or a quiet placeholder
 * when the track has none. A view: it paints the image it is given.
 */
class CoverView : public QWidget {
    Q_OBJECT

public:
    /** The side of the square, in pixels. */
    static constexpr int side = 96;

    explicit CoverView(QWidget *parent = nullptr);

    /** Shows @p image, or the placeholder when it is null. */
    void setImage(const QImage &image);
    /** The image shown; null while the placeholder is. */
    QImage image() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage shown;
    // The image at the size it is painted, made once per image and screen scale.
    QPixmap scaled;
};
