#include "CoverMeasurements.h"

#include "ForgedPictures.h"
#include "Probes.h"
#include "library/cover/CoverArt.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace bench {

namespace {

using namespace forged;

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
    return picture.isEmpty() || embed(path, picture);
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
