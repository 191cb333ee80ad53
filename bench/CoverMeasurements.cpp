#include "CoverMeasurements.h"

#include "Probes.h"
#include "library/cover/CoverArt.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <vector>

namespace bench {

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffff;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray length(4, 0), crc(4, 0);
    qToBigEndian<quint32>(quint32(data.size()), length.data());
    const QByteArray body = QByteArray(type, 4) + data;
    qToBigEndian<quint32>(crc32(body), crc.data());
    return length + body + crc;
}

/** A grey PNG of @p side pixels a side at @p depth bits, with @p rows rows of data. */
QByteArray greyPng(int side, int depth, int rows)
{
    QByteArray header(13, 0);
    qToBigEndian<quint32>(quint32(side), header.data());
    qToBigEndian<quint32>(quint32(side), header.data() + 4);
    header[8] = char(depth);
    const QByteArray pixels(qsizetype(rows) * (1 + (qsizetype(side) * depth + 7) / 8), 0);
    return QByteArray::fromHex("89504e470d0a1a0a") + pngChunk("IHDR", header)
        + pngChunk("IDAT", qCompress(pixels, 1).mid(4)) + pngChunk("IEND", {});
}

/** A small JPEG whose header claims @p side pixels a side. */
QByteArray truncatedJpeg(int side)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray bytes = encoded(image, "JPEG");
    const qsizetype frame = bytes.indexOf(QByteArray::fromHex("ffc0"));
    qToBigEndian<quint16>(quint16(side), bytes.data() + frame + 5);
    qToBigEndian<quint16>(quint16(side), bytes.data() + frame + 7);
    return bytes;
}

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/** The MP3 fixture at @p path, with @p picture as its front cover when one is given. */
bool track(const QString &path, const QByteArray &picture = {})
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())
        || !QFile::copy(QStringLiteral(CORVEL_FIXTURES_DIR "/tone.mp3"), path)
        || !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
        return false;
    if (picture.isEmpty())
        return true;
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    auto *frame = new TagLib::ID3v2::AttachedPictureFrame;
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    frame->setMimeType("image/jpeg");
    frame->setPicture(TagLib::ByteVector(picture.constData(), uint(picture.size())));
    file.ID3v2Tag(true)->addFrame(frame);
    return file.save();
}

} // namespace

bool measureCovers(int runs, Figures &figures)
{
    QTemporaryDir temp;
    QImage photo(600, 600, QImage::Format_RGB32);
    photo.fill(QColor(0xff8000));
    struct Case {
        const char *key;
        bool shown;
        QString trackPath;
    };
    std::vector<Case> cases;
    const auto folder = [&temp](const char *name) { return temp.filePath(QLatin1String(name)); };
    bool made = track(folder("ordinary/track.mp3"), encoded(photo, "JPEG"))
        && track(folder("png/track.mp3")) && write(folder("png/cover.png"), greyPng(20000, 8, 4))
        && track(folder("jpeg/track.mp3")) && write(folder("jpeg/cover.jpg"), truncatedJpeg(20000))
        && track(folder("limit/track.mp3"))
        && write(folder("limit/cover.png"), greyPng(5000, 2, 5000))
        && track(
            folder("frame/track.mp3"), encoded(photo, "JPEG") + QByteArray(50 * 1024 * 1024, '\0'));
    if (!made) {
        err() << "cannot write the cover art files" << Qt::endl;
        return false;
    }
    cases = {{"cover_ordinary_ms", true, folder("ordinary/track.mp3")},
        {"cover_png_20000_ms", false, folder("png/track.mp3")},
        {"cover_jpeg_20000_ms", false, folder("jpeg/track.mp3")},
        {"cover_png_5000_ms", false, folder("limit/track.mp3")},
        {"cover_frame_50mb_ms", false, folder("frame/track.mp3")}};
    for (const Case &one : cases) {
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            QElapsedTimer timer;
            timer.start();
            const CoverArt art = CoverArt::read(one.trackPath);
            times.push_back(elapsedMs(timer));
            if (art.image.isNull() == one.shown) {
                err() << one.key << ": the cover was " << (one.shown ? "not " : "") << "shown"
                      << Qt::endl;
                return false;
            }
        }
        figures[QLatin1String(one.key)] = median(times);
    }
    return true;
}

} // namespace bench
