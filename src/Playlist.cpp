#include "Playlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSaveFile>
#include <QSet>
#include <QtConcurrent/QtConcurrentRun>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

using Generation = std::shared_ptr<std::atomic<quint64>>;
using TrackList = QList<Playlist::TrackInfo>;

/** Whether @p name ends in one of the four audio suffixes, in any case ("*.MP3", "*.Flac"). */
bool isAudioName(const QString &name)
{
    static const QLatin1String suffixes[] = {QLatin1String(".mp3"), QLatin1String(".ogg"),
        QLatin1String(".wav"), QLatin1String(".flac")};
    return std::any_of(std::begin(suffixes), std::end(suffixes),
        [&name](QLatin1String suffix) { return name.endsWith(suffix, Qt::CaseInsensitive); });
}

QString toQString(const TagLib::String &text)
{
    const std::wstring wide = text.toWString();
    return QString::fromWCharArray(wide.data(), qsizetype(wide.size()));
}

QString fileNameOf(const QUrl &url)
{
    const QString path = url.toLocalFile();
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool hasNoTags(const Playlist::TrackInfo &track)
{
    return track.artist.isEmpty() && track.title.isEmpty();
}

QString orUnknownArtist(const QString &artist)
{
    return artist.isEmpty() ? QStringLiteral("Unknown Artist") : artist;
}

QString orUnknownTitle(const QString &title)
{
    return title.isEmpty() ? QStringLiteral("Unknown Title") : title;
}

/**
 * The worker of both scans. Reads the audio files below @p folderPath in
 * iterator order, skipping those in @p known. Stops early once a newer scan
 * has been started, since its result would be dropped anyway.
 */
TrackList scanFolder(const QString &folderPath, const QSet<QString> &known,
    const std::function<void(int)> &onProgress, const Generation &generation, quint64 myGeneration)
{
    TrackList result;
    int count = 0;

    const auto postProgress = [&](int found) {
        QMetaObject::invokeMethod(
            qApp,
            [onProgress, found, generation, myGeneration] {
                if (generation->load() == myGeneration)
                    onProgress(found);
            },
            Qt::QueuedConnection);
    };

    // An empty path would make the iterator walk the working directory.
    if (!folderPath.isEmpty()) {
        // Every entry, folders included, comes back here: an overtaken scan stops
        // within one entry even in a large tree of other files (a home folder),
        // where name filters would let the iterator walk on to the next match.
        QDirIterator it(folderPath, QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot,
            QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (generation->load(std::memory_order_relaxed) != myGeneration)
                return result;
            if (!isAudioName(it.fileName()) || it.fileInfo().isDir())
                continue;
            if (!known.isEmpty() && known.contains(path))
                continue;
            result.append(Playlist::readTrack(path));
            ++count;
            if (onProgress && count % 100 == 0)
                postProgress(count);
        }
    }
    if (onProgress)
        postProgress(count);
    return result;
}

} // namespace

Playlist::Playlist(QObject *parent)
    : QObject(parent)
{
}

Playlist::~Playlist()
{
    // Running workers stop and their pending progress calls are dropped: the
    // callbacks may refer to objects that go away with us.
    scanGeneration->fetch_add(1);
}

void Playlist::loadFromFolder(const QString &folderPath, std::function<void(int)> onProgress,
    std::function<void()> onFinished)
{
    const quint64 myGeneration = scanGeneration->fetch_add(1) + 1;
    const Generation generation = scanGeneration;

    auto *watcher = new QFutureWatcher<TrackList>(this);
    connect(watcher, &QFutureWatcher<TrackList>::finished, this,
        [this, watcher, onFinished = std::move(onFinished), myGeneration] {
            watcher->deleteLater();
            if (scanGeneration->load() != myGeneration)
                return; // overtaken by a newer scan
            playlist = watcher->result();
            currentIndex = 0;
            rebuildSearchIndex();
            if (onFinished)
                onFinished();
        });
    watcher->setFuture(QtConcurrent::run(
        [folderPath, onProgress = std::move(onProgress), generation, myGeneration] {
            return scanFolder(folderPath, {}, onProgress, generation, myGeneration);
        }));
}

void Playlist::updateFromFolder(
    const QString &folderPath, const QStringList &knownFiles, std::function<void()> onDone)
{
    const quint64 myGeneration = scanGeneration->fetch_add(1) + 1;
    const Generation generation = scanGeneration;

    auto *watcher = new QFutureWatcher<TrackList>(this);
    connect(watcher, &QFutureWatcher<TrackList>::finished, this,
        [this, watcher, onDone = std::move(onDone), myGeneration] {
            watcher->deleteLater();
            if (scanGeneration->load() != myGeneration)
                return; // overtaken by a newer scan
            playlist.append(watcher->result());
            rebuildSearchIndex();
            if (onDone)
                onDone();
        });
    watcher->setFuture(QtConcurrent::run([folderPath, knownFiles, generation, myGeneration] {
        // A hash set keeps the lookup cheap for libraries of many thousand files.
        const QSet<QString> known(knownFiles.cbegin(), knownFiles.cend());
        return scanFolder(folderPath, known, {}, generation, myGeneration);
    }));
}

bool Playlist::saveToCache(const QString &cachePath) const
{
    QJsonArray tracks;
    for (const TrackInfo &track : playlist) {
        QJsonObject entry{
            {QStringLiteral("path"), track.url.toLocalFile()},
            {QStringLiteral("artist"), track.artist},
            {QStringLiteral("title"), track.title},
            {QStringLiteral("album"), track.album},
            {QStringLiteral("duration"), track.duration},
        };
        // Only where the file has one; a build that does not know the key skips it.
        if (!track.trackArtist.isEmpty())
            entry.insert(QStringLiteral("trackArtist"), track.trackArtist);
        tracks.append(entry);
    }
    const QByteArray json = QJsonDocument(
        QJsonObject{{QStringLiteral("tracks"),
            tracks}}).toJson(QJsonDocument::Indented);

    if (cachePath.isEmpty())
        return false;
    // Written to a temporary file that replaces the old cache only when
    // complete, so a crash or a full disk never leaves a truncated cache.
    QSaveFile file(cachePath);
    if (file.open(QIODevice::WriteOnly)) {
        if (file.write(json) != json.size()) {
            file.cancelWriting();
            return false;
        }
        return file.commit();
    }

    // A folder that takes no new files can still hold a writable cache (a
    // shared or locked-down music folder): write that file in place, as a
    // plain write would. QSaveFile's own direct-write fallback is not enough:
    // it acts only on EACCES, while an immutable folder answers EPERM.
    // A truncated cache left by a failed write here fails to parse on the next
    // start, which then rescans.
    QFile existing(cachePath);
    if (!QFileInfo(cachePath).isFile()
        || !existing.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::ExistingOnly))
        return false;
    return existing.write(json) == json.size() && existing.flush();
}

bool Playlist::loadFromCache(const QString &cachePath)
{
    QFile file(cachePath);
    // Only a regular file (or a link to one): opening a FIFO waits for a
    // writer and a device may never end, either of which would hang the start.
    if (cachePath.isEmpty() || !QFileInfo(cachePath).isFile() || !file.open(QIODevice::ReadOnly))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return false;

    const QJsonArray tracks = document.object().value(QLatin1String("tracks")).toArray();
    TrackList loaded;
    loaded.reserve(tracks.size());
    for (const QJsonValue &value : tracks) {
        const QJsonObject entry = value.toObject();
        const QString path = entry.value(QLatin1String("path")).toString();
        if (path.isEmpty() || !QFileInfo::exists(path))
            continue;
        TrackInfo track;
        track.artist = entry.value(QLatin1String("artist")).toString();
        track.trackArtist = entry.value(QLatin1String("trackArtist")).toString();
        track.title = entry.value(QLatin1String("title")).toString();
        track.album = entry.value(QLatin1String("album")).toString();
        track.duration = entry.value(QLatin1String("duration")).toString();
        track.url = QUrl::fromLocalFile(path);
        loaded.append(std::move(track));
    }
    playlist = std::move(loaded);
    currentIndex = 0;
    rebuildSearchIndex();
    return true;
}

void Playlist::rebuildSearchIndex()
{
    for (TrackInfo &track : playlist) {
        track.fileName = fileNameOf(track.url);
        // One simultaneous substitution: a "%1" inside a tag stays as it is.
        track.displayName = hasNoTags(track)
            ? track.fileName
            : QStringLiteral("%1 - %2 (%3)")
                  .arg(orUnknownArtist(track.artist), orUnknownTitle(track.title), track.duration);
        QString key = track.artist + QLatin1Char(' ') + track.title + QLatin1Char(' ') + track.album
            + QLatin1Char(' ') + track.fileName;
        // The track artist too, where the list shows the album artist.
        if (!track.trackArtist.isEmpty() && track.trackArtist != track.artist)
            key += QLatin1Char(' ') + track.trackArtist;
        track.searchKey = key.toCaseFolded();
    }
}

QStringList Playlist::knownFilePaths() const
{
    QStringList paths;
    paths.reserve(playlist.size());
    for (const TrackInfo &track : playlist)
        paths.append(track.url.toLocalFile());
    return paths;
}

QStringList Playlist::getList() const
{
    QStringList names;
    names.reserve(playlist.size());
    for (qsizetype i = 0; i < playlist.size(); ++i)
        names.append(textAt(int(i)));
    return names;
}

QString Playlist::textAt(int i) const
{
    if (i < 0 || i >= playlist.size())
        return QString();
    return playlist.at(i).displayName;
}

int Playlist::count() const
{
    return int(playlist.size());
}

QUrl Playlist::at(int i) const
{
    if (i < 0 || i >= playlist.size())
        return QUrl();
    return playlist.at(i).url;
}

int Playlist::indexOf(const QUrl &url) const
{
    for (int i = 0; i < playlist.size(); ++i) {
        if (playlist.at(i).url == url)
            return i;
    }
    return -1;
}

QString Playlist::pathAt(int i) const
{
    return at(i).toLocalFile();
}

int Playlist::indexOfPath(const QString &path) const
{
    return indexOf(QUrl::fromLocalFile(path));
}

Playlist::TrackInfo Playlist::track(int i) const
{
    if (i < 0 || i >= playlist.size())
        return TrackInfo();
    return playlist.at(i);
}

QString Playlist::searchText(const QString &query)
{
    return query.trimmed().toCaseFolded();
}

QList<int> Playlist::search(const QString &query, const QList<int> *within) const
{
    const QString folded = searchText(query);
    QList<int> hits;
    if (folded.isEmpty())
        return hits;
    const auto look = [&](int row) {
        if (row >= 0 && row < playlist.size() && playlist.at(row).searchKey.contains(folded))
            hits.append(row);
    };
    if (within) {
        for (const int row : *within)
            look(row);
    } else {
        for (int row = 0; row < playlist.size(); ++row)
            look(row);
    }
    return hits;
}

QList<Playlist::TrackInfo> Playlist::getTracks() const
{
    return playlist;
}

QString Playlist::formatDuration(qint64 ms)
{
    if (ms <= 0)
        return QStringLiteral("0:00");
    const qint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

Playlist::TrackInfo Playlist::readTrack(const QString &path)
{
    TrackInfo track;
    track.url = QUrl::fromLocalFile(path);
    track.duration = formatDuration(0);
    // The iterator also yields symbolic links to FIFOs and devices; opening one
    // of those could block the scan for good.
    if (!QFileInfo(path).isFile())
        return track;

#ifdef Q_OS_WIN
    const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
    TagLib::FileRef ref(nativePath.c_str(), true, TagLib::AudioProperties::Average);
#else
    const QByteArray nativePath = QFile::encodeName(path);
    TagLib::FileRef ref(nativePath.constData(), true, TagLib::AudioProperties::Average);
#endif

    qint64 lengthMs = 0;
    // A null reference is a file TagLib could not open or parse (empty,
    // truncated, not audio): it still becomes a record, with empty tags.
    if (!ref.isNull()) {
        // The property map is the one reader that sees every format's tags,
        // the RIFF INFO chunk of a WAV file (INAM, IPRD) included, where
        // FileRef::tag() shows only the ID3v2 chunk. It comes from a single tag
        // of the file, though, while tag() merges ID3v2 and ID3v1 field by
        // field, so a field the map lacks is taken from tag().
        const TagLib::PropertyMap properties = ref.file()->properties();
        const TagLib::Tag *tag = ref.tag();
        // Several values are joined as tag() joins them: with a space.
        const auto field = [&properties](const char *key, const TagLib::String &fallback,
                               const char *separator = " ") {
            const auto found = properties.find(key);
            if (found != properties.end() && !found->second.isEmpty())
                return toQString(found->second.toString(separator));
            return toQString(fallback);
        };
        track.title = field("TITLE", tag ? tag->title() : TagLib::String());
        track.album = field("ALBUM", tag ? tag->album() : TagLib::String());
        // The album artist has no accessor on TagLib::Tag; the map names it
        // the same for every format (ID3v2 TPE2, Vorbis and FLAC ALBUMARTIST).
        // Many files name only the track artist (ID3v2 TPE1, Vorbis ARTIST,
        // RIFF INFO IART): the list shows that one then.
        track.trackArtist = field("ARTIST", tag ? tag->artist() : TagLib::String(), ", ");
        track.artist = field("ALBUMARTIST", TagLib::String(), ", ");
        if (track.artist.isEmpty())
            track.artist = track.trackArtist;
        if (const TagLib::AudioProperties *audio = ref.audioProperties())
            lengthMs = audio->lengthInMilliseconds();
    }
    track.duration = formatDuration(lengthMs);
    return track;
}
