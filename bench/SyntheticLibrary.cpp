#include "SyntheticLibrary.h"

#include "Report.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace bench {

namespace {

TagLib::String tagText(const QString &text)
{
    return TagLib::String(text.toStdWString());
}

} // namespace

#ifdef Q_OS_WIN
NativePath nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}
const wchar_t *cPath(const NativePath &path)
{
    return path.c_str();
}
#else
NativePath nativePath(const QString &path)
{
    return QFile::encodeName(path);
}
const char *cPath(const NativePath &path)
{
    return path.constData();
}
#endif

QString albumArtistFor(int i)
{
    return QString::fromUtf8("Künstler %1 ♪").arg(i / 100);
}
QString titleFor(int i)
{
    return QString::fromUtf8("Tïtel Nummer %1").arg(i);
}
QString albumFor(int i)
{
    return QString::fromUtf8("Älbum %1 – %2").arg(i / 100).arg((i / 10) % 10);
}

namespace {

/** Writes track @p i below @p root; false, with a message, when it cannot. */
bool buildTrack(const QString &root, int i)
{
    static const QStringList kinds = {"tone.mp3", "tone.ogg", "tone.flac", "tone.wav"};
    const QString kind = kinds[i % kinds.size()];
    const QString folder
        = QStringLiteral("%1/%2/%3/Disc %4")
              .arg(root, QString::fromUtf8("Künstler %1 ♪").arg(i / 100, 3, 10, QLatin1Char('0')),
                  QString::fromUtf8("Älbum %1 – ß").arg((i / 10) % 10))
              .arg(i % 2 + 1);
    const QString path = QStringLiteral("%1/%2 Tïtel.%3")
                             .arg(folder)
                             .arg(i, 5, 10, QLatin1Char('0'))
                             .arg(QFileInfo(kind).suffix());
    if (!QDir().mkpath(folder)
        || !QFile::copy(QStringLiteral(CORVEL_FIXTURES_DIR "/") + kind, path)) {
        err() << "cannot write " << path << Qt::endl;
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    const NativePath native = nativePath(path);
    TagLib::FileRef ref(cPath(native), false);
    if (ref.isNull()) {
        err() << "TagLib cannot open " << path << Qt::endl;
        return false;
    }
    TagLib::PropertyMap properties = ref.file()->properties();
    properties.replace("ALBUMARTIST", TagLib::StringList(tagText(albumArtistFor(i))));
    properties.replace("TITLE", TagLib::StringList(tagText(titleFor(i))));
    properties.replace("ALBUM", TagLib::StringList(tagText(albumFor(i))));
    ref.file()->setProperties(properties);
    if (!ref.file()->save()) {
        err() << "TagLib cannot save " << path << Qt::endl;
        return false;
    }
    return true;
}

} // namespace

bool buildLibrary(const QString &root, int tracks)
{
    // One writer per core, each taking whole artists (100 tracks, one folder
    // tree), so that no two write into the same folder.
    const int writers = std::max(1, QThread::idealThreadCount());
    std::atomic<int> nextArtist{0};
    std::atomic<int> built{0};
    std::atomic<bool> failed{false};
    std::mutex reporting;
    const auto write = [&] {
        for (int artist = nextArtist++; artist * 100 < tracks && !failed; artist = nextArtist++) {
            for (int i = artist * 100; i < std::min(tracks, artist * 100 + 100); ++i) {
                if (!buildTrack(root, i)) {
                    failed = true;
                    return;
                }
                if (++built % 10000 == 0) {
                    const std::lock_guard<std::mutex> guard(reporting);
                    err() << "  built " << built.load() << " / " << tracks << Qt::endl;
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (int writer = 1; writer < writers; ++writer)
        threads.emplace_back(write);
    write();
    for (std::thread &thread : threads)
        thread.join();
    return !failed;
}

QStringList audioFiles(const QString &root)
{
    QStringList paths;
    QDirIterator it(
        root, {"*.mp3", "*.ogg", "*.wav", "*.flac"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    return paths;
}

} // namespace bench
