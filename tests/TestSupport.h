#pragma once

// Shared by the tests: every test runs against its own throw-away settings
// store and never sees a real user's settings or music. Below that: fixture
// files, cache files, scans run to their end, and what the widgets show.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "SvgIcon.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcherBase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <functional>
#include <memory>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace TestSupport {

// ---------------------------------------------------------------------------
// The settings store

/** Points the settings store at a fresh temporary folder; call it first in initTestCase(). */
inline QTemporaryDir &isolateSettings()
{
    static QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
    return configHome;
}

/** The player's settings store, opened as another process would open it. */
inline QSettings store()
{
    return QSettings(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"));
}

/** Empties the player's settings store; use it in init() for a fresh start per test. */
inline void clearPlayerSettings()
{
    QSettings settings = store();
    settings.clear();
    settings.sync();
}

/** Stores the music folder the next window opens with. */
inline void storeMusicFolder(const QString &folder)
{
    store().setValue(QStringLiteral("musicFolder"), folder);
}

/** Stores favourite slot @p slot (0-based) as the window saves it. */
inline void storeFavorite(int slot, const QString &url, const QString &artist, const QString &title)
{
    QSettings settings = store();
    const QString group = QStringLiteral("favorites/fav%1/").arg(slot);
    settings.setValue(group + QStringLiteral("url"), url);
    settings.setValue(group + QStringLiteral("artist"), artist);
    settings.setValue(group + QStringLiteral("title"), title);
}

// ---------------------------------------------------------------------------
// Files

/** Path of a committed audio fixture, e.g. fixture("tone.mp3"). */
inline QString fixture(const QString &name)
{
    return QStringLiteral(CORVEL_FIXTURES_DIR "/") + name;
}

/** Copies a fixture to @p target, creating the folders on the way. */
inline bool copyFixture(const QString &name, const QString &target)
{
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile::remove(target);
    return QFile::copy(fixture(name), target)
        && QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                             | QFile::ReadOther);
}

/** The whole content of a file; empty when it cannot be read. */
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** Writes @p bytes to @p path, creating the folders on the way; a failure ends the run. */
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

/** A one-byte file at @p path, enough for a cache entry naming it to load; returns the path. */
inline QString touch(const QString &path)
{
    writeFile(path, "x");
    return path;
}

/**
 * Makes the file or folder @p path refuse changes (@p locked) or accept them again:
 * a locked folder takes no new files, a locked file no writes. Permission bits do
 * not stop root, so root gets the immutable attribute instead. Returns false where
 * that is not possible (the caller skips).
 */
inline bool setLocked(const QString &path, bool locked)
{
#ifdef Q_OS_LINUX
    if (geteuid() == 0) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (ok) {
            flags = locked ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return ok;
    }
#endif
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner;
    if (QFileInfo(path).isDir())
        permissions |= QFileDevice::ExeOwner;
    if (!locked)
        permissions |= QFileDevice::WriteOwner;
    return QFile::setPermissions(path, permissions);
}

/** A silent 8-bit mono WAV of @p seconds; a low @p rate keeps hour-long tracks small. */
inline QByteArray silentWav(int seconds, quint32 rate = 8000)
{
    const quint32 dataSize = rate * quint32(seconds);
    QByteArray wav;
    const auto put = [&wav](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            wav.append(char((value >> (8 * i)) & 0xff));
    };
    wav.append("RIFF");
    put(36 + dataSize, 4);
    wav.append("WAVEfmt ");
    put(16, 4);
    put(1, 2); // PCM
    put(1, 2); // mono
    put(rate, 4);
    put(rate, 4); // bytes per second
    put(1, 2);    // block align
    put(8, 2);    // bits per sample
    wav.append("data");
    put(dataSize, 4);
    wav.append(QByteArray(int(dataSize), char(0x80))); // 8-bit silence is the mid value
    return wav;
}

// ---------------------------------------------------------------------------
// Cache files

/** One record of a cache file. */
struct CacheEntry {
    QString path;
    QString artist;
    QString title;
    QString album;
    QString duration;
};

/** A cache file's content holding @p tracks, in Qt's indented layout as the player writes it. */
inline QByteArray cacheJson(const QJsonArray &tracks)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("tracks"), tracks}}).toJson();
}

/** One cache record as the player writes it. */
inline QJsonObject cacheRecord(const CacheEntry &entry)
{
    return QJsonObject{{QStringLiteral("path"), entry.path},
                       {QStringLiteral("artist"), entry.artist},
                       {QStringLiteral("title"), entry.title},
                       {QStringLiteral("album"), entry.album},
                       {QStringLiteral("duration"), entry.duration}};
}

/** Writes a cache file of @p entries to @p file. */
inline void writeCacheFile(const QString &file, const QList<CacheEntry> &entries)
{
    QJsonArray tracks;
    for (const CacheEntry &entry : entries)
        tracks.append(cacheRecord(entry));
    writeFile(file, cacheJson(tracks));
}

/** Writes the cache that a window whose music folder is @p folder loads at start-up. */
inline void writeCache(const QString &folder, const QList<CacheEntry> &entries)
{
    writeCacheFile(folder + QStringLiteral("/playlist_cache.json"), entries);
}

/** Copies tone.mp3/.wav/.ogg into @p folder as a.mp3, b.wav, c.ogg with their cache; returns the paths. */
inline QStringList writeFixtureLibrary(const QString &folder)
{
    const QList<std::pair<const char *, const char *>> files = {
        {"tone.mp3", "a.mp3"}, {"tone.wav", "b.wav"}, {"tone.ogg", "c.ogg"}};
    QStringList paths;
    QList<CacheEntry> entries;
    for (const auto &[name, fileName] : files) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(fileName);
        if (!copyFixture(QLatin1String(name), path))
            qFatal("cannot copy fixture %s", name);
        const QString kind = QFileInfo(path).suffix();
        const QString prefix = kind.left(1).toUpper() + kind.mid(1);
        entries.append({path, prefix + QStringLiteral(" Album Artist"), prefix + QStringLiteral(" Tone"),
                        QStringLiteral("Fixture Album"), QStringLiteral("0:01")});
        paths.append(path);
    }
    writeCache(folder, entries);
    return paths;
}

/** Loads @p playlist from @p folder/preload.json, three records "Kept - 1 (0:01)" …, to see a failed load change nothing. */
inline bool loadKeptLibrary(Playlist &playlist, const QString &folder)
{
    QList<CacheEntry> entries;
    for (int i = 1; i <= 3; ++i)
        entries.append({touch(folder + QStringLiteral("/kept/k%1.mp3").arg(i)), QStringLiteral("Kept"),
                        QString::number(i), QString(), QStringLiteral("0:0%1").arg(i)});
    writeCacheFile(folder + QStringLiteral("/preload.json"), entries);
    return playlist.loadFromCache(folder + QStringLiteral("/preload.json")) && playlist.getTracks().size() == 3;
}

// ---------------------------------------------------------------------------
// Scans

// Generous: a stalled scan never ends, and a slow one under ASan on a shared machine must pass.
constexpr int scanTimeoutMs = 180000;

/** What a scan reported back, filled by its callbacks. */
struct ScanCalls {
    QList<int> progress;
    QList<int> progressAtFinish; // what had arrived when the completion ran
    int finished = 0;
};

/** True when no scan of @p playlist is still on its way back. */
inline bool noScanPending(const Playlist &playlist)
{
    return playlist.findChildren<QFutureWatcherBase *>().isEmpty();
}

/** Starts a full scan whose callbacks count into @p calls. */
inline void startFull(Playlist &playlist, const QString &folder, const std::shared_ptr<ScanCalls> &calls)
{
    playlist.loadFromFolder(
        folder, [calls](int found) { calls->progress.append(found); },
        [calls] {
            calls->progressAtFinish = calls->progress;
            ++calls->finished;
        });
}

/** Starts an update scan whose completion counts into @p calls. */
inline void startUpdate(Playlist &playlist, const QString &folder, const QStringList &known,
                        const std::shared_ptr<ScanCalls> &calls)
{
    playlist.updateFromFolder(folder, known, [calls] { ++calls->finished; });
}

/** Waits until the scan behind @p calls has ended and been handed back. */
inline std::shared_ptr<ScanCalls> waitForScan(Playlist &playlist, std::shared_ptr<ScanCalls> calls)
{
    if (!QTest::qWaitFor([&] { return calls->finished > 0 && noScanPending(playlist); }, scanTimeoutMs))
        qWarning("a scan did not finish");
    return calls;
}

/** A full scan of @p folder run to its end. */
inline std::shared_ptr<ScanCalls> scanFull(Playlist &playlist, const QString &folder)
{
    auto calls = std::make_shared<ScanCalls>();
    startFull(playlist, folder, calls);
    return waitForScan(playlist, calls);
}

/** An update scan of @p folder, knowing @p known, run to its end. */
inline std::shared_ptr<ScanCalls> scanUpdate(Playlist &playlist, const QString &folder, const QStringList &known)
{
    auto calls = std::make_shared<ScanCalls>();
    startUpdate(playlist, folder, known, calls);
    return waitForScan(playlist, calls);
}

/** The audio files below @p folder in the order the folder scan meets them. */
inline QStringList iteratorOrder(const QString &folder)
{
    QStringList paths;
    QDirIterator it(folder, {"*.mp3", "*.ogg", "*.wav", "*.flac"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    return paths;
}

/** The five stored fields of every record, for comparing libraries. */
inline QList<QStringList> storedFields(const QList<Playlist::TrackInfo> &tracks)
{
    QList<QStringList> fields;
    for (const Playlist::TrackInfo &track : tracks)
        fields.append({track.url.toLocalFile(), track.artist, track.title, track.album, track.duration});
    return fields;
}

/** Lets every scan end and every deleted object go, so that nothing of one test reaches the next. */
inline void finishBackgroundWork()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---------------------------------------------------------------------------
// The window and its widgets

/** A main window as a newly started program builds it: the size table starts empty. */
inline std::unique_ptr<PlayerWindow> freshWindow()
{
    PlayerWindow::iconSize.clear();
    return std::make_unique<PlayerWindow>();
}

/** The texts of @p list's rows, top to bottom. */
inline QStringList rowTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

/** The paths that @p list's rows carry under Qt::UserRole. */
inline QStringList rowPaths(const QListWidget *list)
{
    QStringList paths;
    for (int row = 0; row < list->count(); ++row)
        paths.append(list->item(row)->data(Qt::UserRole).toString());
    return paths;
}

/** Every text @p label shows between event-loop passes, until it shows @p last (as a user sees them). */
inline QStringList recordLabel(const QLabel *label, const QString &last, int timeoutMs)
{
    QStringList seen{label->text()};
    QElapsedTimer clock;
    clock.start();
    while (seen.constLast() != last && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents();
        if (label->text() != seen.constLast())
            seen.append(label->text());
        QThread::msleep(1);
    }
    return seen;
}

/** Emits @p timer's timeout once, as the event loop would, without waiting for it. */
inline bool fire(QTimer *timer)
{
    return QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

/** Right-clicks @p view at @p pos, picks @p choice (else Escape); returns the entries, none if no menu. */
inline QStringList answerMenu(QAbstractScrollArea *view, const QPoint &pos, const QString &choice)
{
    QStringList entries;
    QObject guard; // a menu that never opened leaves no answer pending
    QTimer::singleShot(0, &guard, [&entries, choice] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction *action : menu->actions()) {
            entries << action->text();
            if (action->text() == choice)
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, menu->activeAction() ? Qt::Key_Return : Qt::Key_Escape);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, view->viewport()->mapToGlobal(pos));
    QApplication::sendEvent(view->viewport(), &event);
    return entries;
}

/** Runs the application's loop with @p steps first; 42 after @p graceMs unless something quits it (0). */
inline int runApplication(const std::function<void()> &steps, int graceMs)
{
    QObject context;
    QTimer::singleShot(0, &context, [&context, &steps, graceMs] {
        steps();
        QTimer::singleShot(graceMs, &context, [] { QCoreApplication::exit(42); });
    });
    return QApplication::exec();
}

// ---------------------------------------------------------------------------
// Icons

// The palette as the user sees it (also hard-coded here, so a wrong palette fails).
inline const QColor orange(0xFF, 0x66, 0x33);
inline const QColor blue(0x33, 0x33, 0xFF);
inline const QColor green(0x33, 0xFF, 0x33);
inline const QColor gray(0x66, 0x66, 0x66);
inline const QColor pink(0xFF, 0x99, 0x99);
inline const QColor red(0xFF, 0x33, 0x33);

/** ":/icons/<name>.svg". */
inline QString iconPath(const QString &name)
{
    return QStringLiteral(":/icons/%1.svg").arg(name);
}

/** The icon's pixmap at @p size, unpremultiplied so that colours compare directly. */
inline QImage iconImage(const QIcon &icon, const QSize &size)
{
    return icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

/** How many pixels of @p image are not fully transparent. */
inline int visiblePixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

/** The one colour of the icon's opaque pixels, else invalid; 32 px and up (thin strokes cover none). */
inline QColor tint(const QIcon &icon, const QSize &size)
{
    const QImage image = iconImage(icon, size);
    QColor found;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) != 255)
                continue;
            if (!found.isValid())
                found = QColor(pixel);
            else if (found != QColor(pixel))
                return QColor();
        }
    }
    return found;
}

/** Whether @p icon is exactly the drawing @p name tinted @p color, made at @p size. */
inline bool sameIcon(const QIcon &icon, const QString &name, const QColor &color, const QSize &size)
{
    return icon.availableSizes() == QList<QSize>{size}
        && iconImage(icon, size) == iconImage(SvgIcon::coloredIcon(iconPath(name), color, size), size);
}

/** Whether @p button shows exactly that icon, at that icon size. */
inline bool showsIcon(const QAbstractButton *button, const QString &name, const QColor &color, const QSize &size)
{
    return button->iconSize() == size && sameIcon(button->icon(), name, color, size);
}

} // namespace TestSupport
