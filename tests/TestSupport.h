#pragma once

// Shared by the tests. Every test runs against its own throw-away settings
// store and never sees a real user's settings or music.

#include "app/PlayerCore.h"
#include "library/Library.h"
#include "library/Playlist.h"
#include "ui/PlayerWindow.h"
#include "ui/SvgIcon.h"

#include <QAbstractButton>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcherBase>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>

#include <memory>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace TestSupport {

/** Points the settings store at a fresh temporary folder; call it first in initTestCase(). */
inline void isolateSettings()
{
    static QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(configHome.path()));
}

/** The player's settings store, opened as another process would open it. */
inline QSettings store()
{
    return QSettings(QStringLiteral("Tavrenin International"), QStringLiteral("Corvelia"));
}

/** Empties the settings store; call it in init() for a fresh start per test. */
inline void clearStore()
{
    QSettings settings = store();
    settings.clear();
    settings.sync();
}

/** Path of a committed audio fixture, e.g. fixture("tone.mp3"). */
inline QString fixture(const QString &name)
{
    return QStringLiteral(CORVEL_FIXTURES_DIR "/") + name;
}

/** Writes @p bytes to @p path, creating the folders on the way; a failure ends the run. */
inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

/** Copies fixture @p name to @p target (folders made on the way); returns @p target. */
inline QString copyFixture(const QString &name, const QString &target)
{
    QFile file(fixture(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no fixture %s", qPrintable(name));
    writeFile(target, file.readAll());
    return target;
}

/** Makes an empty file (a folder when @p name ends in '/') in @p folder, named by raw bytes that
 * Qt can neither make nor list; a failure ends the run. */
inline void makeRawName(const QString &folder, const QByteArray &name)
{
    QByteArray path = QFile::encodeName(folder);
    const QList<QByteArray> parts = name.split('/');
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts.at(i).isEmpty())
            continue;
        path += '/' + parts.at(i);
        const bool isFolder = i < parts.size() - 1;
        const int made = isFolder ? ::mkdir(path.constData(), 0700)
                                  : ::open(path.constData(), O_CREAT | O_WRONLY, 0600);
        if (made < 0 && !(isFolder && errno == EEXIST))
            qFatal("cannot make %s", path.constData());
        if (!isFolder)
            ::close(made);
    }
}

/** Removes raw-named @p name in @p folder (or @p folder itself) and all below: QTemporaryDir
 * misses what Qt cannot list. */
inline void removeRawTree(const QString &folder, const QByteArray &name = {})
{
    const QByteArray path = QFile::encodeName(folder) + (name.isEmpty() ? "" : '/' + name);
    ::nftw(
        path.constData(),
        [](const char *entry, const struct stat *, int, struct FTW *) { return ::remove(entry); },
        16, FTW_DEPTH | FTW_PHYS);
}

/** One cache record: path, artist, title, album, duration. */
using CacheEntry = QStringList;

/** Writes a cache file holding @p entries, laid out as the player writes it. */
inline void writeCache(const QString &cacheFile, const QList<CacheEntry> &entries)
{
    static const QStringList keys = {"path", "artist", "title", "album", "duration"};
    QJsonArray tracks;
    for (const CacheEntry &entry : entries) {
        QJsonObject record;
        for (int i = 0; i < keys.size(); ++i)
            record.insert(keys.at(i), entry.value(i));
        tracks.append(record);
    }
    writeFile(cacheFile, QJsonDocument(QJsonObject{{QStringLiteral("tracks"), tracks}}).toJson());
}

/** A music folder of fixtures a.mp3, b.wav, c.ogg and a matching cache; returns the paths. */
inline QStringList writeLibrary(const QString &folder)
{
    QStringList paths;
    QList<CacheEntry> entries;
    for (const QString &name :
        {QStringLiteral("a.mp3"), QStringLiteral("b.wav"), QStringLiteral("c.ogg")}) {
        const QString path
            = copyFixture(QStringLiteral("tone.") + QFileInfo(name).suffix(), folder + '/' + name);
        entries.append({path, QStringLiteral("Artist ") + name.left(1), QStringLiteral("Tone"),
            QStringLiteral("Album"), QStringLiteral("0:01")});
        paths.append(path);
    }
    writeCache(folder + QStringLiteral("/playlist_cache.json"), entries);
    return paths;
}

/** True when no scan of @p playlist is still on its way back. */
inline bool noScanPending(const Playlist &playlist)
{
    return playlist.findChildren<QFutureWatcherBase *>().isEmpty();
}

/** Lets every scan end and every deleted object go, so nothing of one test reaches the next. */
inline void finishBackgroundWork()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

/** The texts (or the data under @p role) of @p list's rows, top to bottom. */
inline QStringList rowTexts(const QAbstractItemView *list, int role = Qt::DisplayRole)
{
    QStringList texts;
    for (int row = 0; row < list->model()->rowCount(); ++row)
        texts.append(list->model()->index(row, 0).data(role).toString());
    return texts;
}

/** Adds a column of type T per name to the current test's data table. */
template <typename... T, typename... Names> void columns(Names... names)
{
    (QTest::addColumn<T>(names), ...);
}

/** Starts a private session bus in @p daemon; its address, empty when it did not start. */
inline QByteArray startSessionBus(QProcess &daemon)
{
    daemon.start("dbus-daemon", {"--session", "--print-address", "--nofork"});
    const bool up = daemon.waitForStarted() && daemon.waitForReadyRead(10000);
    return up ? daemon.readLine().trimmed() : QByteArray();
}

/** Starts a private session bus in @p daemon and makes it this process's; false when it did not
 * start. Called before any bus use. */
inline bool useSessionBus(QProcess &daemon)
{
    const QByteArray address = startSessionBus(daemon);
    return !address.isEmpty() && qputenv("DBUS_SESSION_BUS_ADDRESS", address);
}

/** Opens @p folder in @p library unwatched, from its cache or a scan; whether it then settled. */
inline bool openUnwatched(Library &library, const QString &folder)
{
    library.setWatching(false);
    library.restoreFolder(folder);
    library.loadCacheAndCheck();
    return QTest::qWaitFor([&library] { return !library.busy(); }, 60000);
}

/** Runs the event loop until @p library's first news: a library in place or a status message. */
inline bool firstNews(Library *library)
{
    QEventLoop loop;
    QObject::connect(library, &Library::installed, &loop, &QEventLoop::quit);
    QObject::connect(library, &Library::status, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 0;
}

/** Deletes a window and then the core it shows, in the order the program ends them. */
struct WindowAndCore {
    void operator()(PlayerWindow *window) const
    {
        PlayerCore *core = window->core();
        delete window;
        delete core;
    }
};
/** A window on a core of its own. */
using Window = std::unique_ptr<PlayerWindow, WindowAndCore>;

/** A core and a window as a newly started program builds them (the size table starts empty), the
 * cache shown. */
inline Window freshWindow()
{
    PlayerWindow::iconSize.clear();
    Window window(new PlayerWindow(new PlayerCore));
    window->core()->start();
    if (window->library()->busy())
        firstNews(window->library()); // the cache is read on a worker
    return window;
}

/** The child of @p parent called @p name; a missing one ends the run, naming it. */
template <typename T> T *child(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no %s called %s", T::staticMetaObject.className(), name);
    return found;
}

/** Emits @p timer's timeout once, as the event loop would, without waiting for it. */
inline bool fire(QTimer *timer)
{
    return QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
}

/** Whether @p button shows the drawing @p name tinted @p color at @p size, exactly. */
inline bool showsIcon(
    const QAbstractButton *button, const QString &name, const QColor &color, const QSize &size)
{
    const auto image = [&size](const QIcon &icon) { return icon.pixmap(size, 1.0).toImage(); };
    return button->iconSize() == size
        && image(button->icon())
        == image(SvgIcon::coloredIcon(QStringLiteral(":/icons/%1.svg").arg(name), color, size));
}

} // namespace TestSupport
