#pragma once

// Pictures made to order for the cover art reader, shared by the benchmark
// and the tests: encoded images, PNG and JPEG headers that claim far more
// than they hold, and an MP3 with a picture frame of any bytes.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

namespace forged {

/** @p image encoded as @p format ("PNG", "JPEG"). */
inline QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

/** A PNG chunk: its length, @p type, @p data and the CRC-32 that libpng checks. */
inline QByteArray pngChunk(const char *type, const QByteArray &data)
{
    const QByteArray body = QByteArray(type, 4) + data;
    quint32 crc = 0xffffffff;
    for (const char byte : body) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    QByteArray length(4, 0), check(4, 0);
    qToBigEndian<quint32>(quint32(data.size()), length.data());
    qToBigEndian<quint32>(~crc, check.data());
    return length + body + check;
}

/** A grey PNG of @p side × @p side pixels of @p depth bits, all 0, with @p rows rows of data. */
inline QByteArray greyPng(int side, int depth, int rows)
{
    QByteArray header(13, 0);
    qToBigEndian<quint32>(quint32(side), header.data());
    qToBigEndian<quint32>(quint32(side), header.data() + 4);
    header[8] = char(depth);
    const QByteArray pixels(qsizetype(rows) * (1 + (qsizetype(side) * depth + 7) / 8), 0);
    return QByteArray::fromHex("89504e470d0a1a0a") + pngChunk("IHDR", header)
        + pngChunk("IDAT", qCompress(pixels, 1).mid(4)) + pngChunk("IEND", {});
}

/** A 16 px JPEG whose header claims @p side × @p side: libjpeg makes up the missing rest. */
inline QByteArray truncatedJpeg(int side)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes = encoded(image, "JPEG");
    const qsizetype frame = bytes.indexOf(QByteArray::fromHex("ffc0"));
    qToBigEndian<quint16>(quint16(side), bytes.data() + frame + 5);
    qToBigEndian<quint16>(quint16(side), bytes.data() + frame + 7);
    return bytes;
}

/** Adds a front-cover APIC frame holding @p picture to the MP3 @p path. */
inline bool embed(const QString &path, const QByteArray &picture)
{
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    auto *frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setMimeType("image/png");
    frame->setPicture(TagLib::ByteVector(picture.constData(), uint(picture.size())));
    file.ID3v2Tag(true)->addFrame(frame);
    return file.save();
}

} // namespace forged
