// Renders an SVG at the usual Windows icon sizes and packs the images into
// one .ico file, each entry a PNG (read by Windows Vista and later).
// Usage: make-ico <icon.svg> <out.ico> [preview.png]

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstdio>

namespace {

QByteArray renderPng(QSvgRenderer &renderer, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

template <typename T> void put(QByteArray &out, T value)
{
    const T little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&little), sizeof little);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: make-ico <icon.svg> <out.ico> [preview.png]\n", stderr);
        return 2;
    }
    QSvgRenderer renderer{QString::fromLocal8Bit(argv[1])};
    if (!renderer.isValid())
        return 1;

    const QList<int> sizes = {16, 20, 24, 32, 40, 48, 64, 128, 256};
    QList<QByteArray> images;
    for (int size : sizes)
        images.append(renderPng(renderer, size));

    // ICONDIR, then one ICONDIRENTRY per image, then the image data.
    QByteArray ico;
    put<quint16>(ico, 0);
    put<quint16>(ico, 1);
    put<quint16>(ico, quint16(sizes.size()));
    quint32 offset = 6 + 16 * quint32(sizes.size());
    for (int i = 0; i < sizes.size(); ++i) {
        const quint8 side = sizes[i] >= 256 ? 0 : quint8(sizes[i]); // 0 means 256
        put<quint8>(ico, side);
        put<quint8>(ico, side);
        put<quint8>(ico, 0); // no palette
        put<quint8>(ico, 0);
        put<quint16>(ico, 1); // colour planes
        put<quint16>(ico, 32); // bits per pixel
        put<quint32>(ico, quint32(images[i].size()));
        put<quint32>(ico, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray &image : images)
        ico.append(image);

    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly) || out.write(ico) != ico.size())
        return 1;
    if (argc > 3) {
        QFile preview(QString::fromLocal8Bit(argv[3]));
        if (!preview.open(QIODevice::WriteOnly) || preview.write(images.last()) < 0)
            return 1;
    }
    return 0;
}
