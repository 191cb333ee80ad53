#include "library/scan/LibraryScanner.h"

#include "library/Playlist.h"
#include "library/scan/BackgroundThreads.h"
#ifndef Q_OS_WIN
#include "library/scan/FileReadStream.h"
#endif
#include "library/scan/MusicFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QThread>

#include <taglib/audioproperties.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Record = TrackTable::Record;
using Found = UpdateMerge::Found;

QString toQString(const TagLib::String &text)
{
    const std::wstring wide = text.toWString();
    return QString::fromWCharArray(wide.data(), qsizetype(wide.size()));
}

/** Whether @p a comes before @p b in a walk: folder by folder, each level in name order. */
bool walksBefore(const QString &a, const QString &b)
{
    const QList<QStringView> aParts = QStringView(a).split(QLatin1Char('/'));
    const QList<QStringView> bParts = QStringView(b).split(QLatin1Char('/'));
    for (qsizetype i = 0; i < aParts.size() && i < bParts.size(); ++i) {
        if (const int order = MusicFiles::compareNames(aParts.at(i), bParts.at(i)); order != 0)
            return order < 0;
    }
    return aParts.size() < bParts.size();
}

/** Whether @p path is @p top or lies below it. */
bool atOrBelow(const QString &path, const QString &top)
{
    return path.startsWith(top) && (path.size() == top.size() || path.at(top.size()) == '/');
}

/**
 * @p scope with the ends of @p moves, in walk order, each path once and none
 * below another, hidden ones left out; @p whole when it is empty or one of
 * them is not below @p folder.
 */
QStringList walkOrderScope(
    const QString &folder, QStringList scope, const QList<UpdateMerge::Move> &moves, bool &whole)
{
    whole = true;
    if (scope.isEmpty())
        return scope;
    for (const UpdateMerge::Move &move : moves)
        scope << move.from << move.to;
    const QString below = folder + QLatin1Char('/');
    if (folder.isEmpty()
        || std::any_of(scope.cbegin(), scope.cend(), [&below](const QString &path) {
               return !path.startsWith(below) || path.size() == below.size();
           }))
        return {};
    whole = false;
    // The walk enters no hidden folder and takes no hidden file.
    scope.removeIf([&below](const QString &path) {
        return path.indexOf(QLatin1String("/."), below.size() - 1) != -1;
    });
    std::sort(scope.begin(), scope.end(), walksBefore);
    QStringList tops;
    for (const QString &path : std::as_const(scope)) {
        if (tops.isEmpty() || !atOrBelow(path, tops.last()))
            tops.append(path);
    }
    return tops;
}

} // namespace

LibraryScanner::LibraryScanner(
    std::function<bool()> overtaken, std::function<void(int)> progress, int readers)
    : overtaken(std::move(overtaken))
    , progress(std::move(progress))
    , readers(readers > 0 ? readers : std::max(1, QThread::idealThreadCount()))
{
}

Record LibraryScanner::read(const QString &path, const FileState &state)
{
    // The walk also yields symbolic links to FIFOs and devices; opening one of
    // those could block the scan for good.
    if (!state.isFile)
        return read(path, state, TagLib::FileRef());
#ifdef Q_OS_WIN
    const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
    const TagLib::FileRef ref(nativePath.c_str(), true, TagLib::AudioProperties::Average);
#else
    // The stream outlives the reference that reads through it.
    FileReadStream stream(QFile::encodeName(path));
    const TagLib::FileRef ref(&stream, true, TagLib::AudioProperties::Average);
#endif
    return read(path, state, ref);
}

Record LibraryScanner::read(const QString &path, const FileState &state, const TagLib::FileRef &ref)
{
    Record record;
    record.path = path;
    record.mtime = state.mtime;
    record.size = state.size;
    record.ctime = state.ctime;
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
        record.title = field("TITLE", tag ? tag->title() : TagLib::String());
        record.album = field("ALBUM", tag ? tag->album() : TagLib::String());
        // The album artist has no accessor on TagLib::Tag; the map names it
        // the same for every format (ID3v2 TPE2, Vorbis and FLAC ALBUMARTIST).
        // Many files name only the track artist (ID3v2 TPE1, Vorbis ARTIST,
        // RIFF INFO IART): the list shows that one then.
        record.trackArtist = field("ARTIST", tag ? tag->artist() : TagLib::String(), ", ");
        record.artist = field("ALBUMARTIST", TagLib::String(), ", ");
        if (record.artist.isEmpty())
            record.artist = record.trackArtist;
        if (const TagLib::AudioProperties *audio = ref.audioProperties())
            lengthMs = audio->lengthInMilliseconds();
    }
    record.duration = Playlist::formatDuration(lengthMs);
    return record;
}

void LibraryScanner::counted()
{
    const std::lock_guard<std::mutex> guard(*counting);
    ++count;
    if (progress && count % 100 == 0)
        progress(count);
}

void LibraryScanner::share(QString &path) const
{
    if (inPlace)
        inPlace->share(path);
}

void LibraryScanner::share(Record &record) const
{
    if (inPlace)
        inPlace->share(record);
}

bool LibraryScanner::readAll(const std::function<bool(Job &)> &next)
{
    const auto work = [this, &next] {
        Job job;
        while (!overtaken() && next(job)) {
            if (job.lookAtFile)
                job.state = FileState::of(QFileInfo(job.path));
            *job.into = read(job.path, job.state);
            share(*job.into);
            counted();
        }
    };
    BackgroundThreads::run(readers, work);
    return !overtaken();
}

bool LibraryScanner::readWalk(const QString &folder, const QSet<QString> *skip,
    QList<Record> &records, MusicFiles::SkippedNames &skippedNames)
{
    std::mutex lock;
    std::condition_variable arrived;
    // Guarded by lock. A deque keeps its elements in place as it grows, so a
    // reader fills its record while the walk appends more.
    std::deque<Found> found;
    std::deque<Record> filled;
    size_t nextRead = 0;
    bool walked = false;
    std::atomic<bool> stop{false};
    std::thread walker([&] {
        BackgroundThreads::yieldToWindow();
        // Every entry, folders included, comes back here: an overtaken scan
        // stops within one entry even in a large tree of other files (a home
        // folder). The names skipped are read only after the join.
        MusicFiles::walk(
            folder, MusicFiles::Entries::All,
            [&](const QFileInfo &entry) {
                if (stop.load(std::memory_order_relaxed) || overtaken())
                    return false;
                if (!MusicFiles::isAudioName(entry.fileName()) || entry.isDir())
                    return true;
                QString path = entry.filePath();
                if (skip && skip->contains(path))
                    return true;
                share(path);
                // The file's state is taken by its reader, on every core.
                const std::lock_guard<std::mutex> guard(lock);
                found.push_back({std::move(path), FileState()});
                filled.emplace_back();
                arrived.notify_one();
                return true;
            },
            &skippedNames);
        const std::lock_guard<std::mutex> guard(lock);
        walked = true;
        arrived.notify_all();
    });
    const bool finished = readAll([&](Job &job) {
        std::unique_lock<std::mutex> guard(lock);
        arrived.wait(guard, [&] { return nextRead < found.size() || walked; });
        if (nextRead == found.size())
            return false;
        job.path = std::move(found[nextRead].path);
        job.lookAtFile = true;
        job.into = &filled[nextRead];
        ++nextRead;
        return true;
    });
    // An overtaken reader stops, and so must the walk it would wait for.
    stop = true;
    walker.join();
    if (!finished || overtaken())
        return false;
    records.reserve(records.size() + qsizetype(filled.size()));
    for (Record &record : filled)
        records.append(std::move(record));
    return true;
}

bool LibraryScanner::walkAll(
    const QString &folder, QList<Found> &walked, MusicFiles::SkippedNames &skippedNames)
{
    // An update reads nothing while it walks, so the walk itself takes every
    // core: the entries at the top are shared out, each one's files kept
    // apart and joined in walk order after. Most of the time goes into the
    // system's listing and stat calls, which run side by side.
    const QList<QFileInfo> top
        = MusicFiles::entries(folder, MusicFiles::Entries::All, &skippedNames);
    std::vector<QList<Found>> parts(size_t(top.size()));
    std::vector<MusicFiles::SkippedNames> skippedBelow(size_t(top.size()));
    const auto take = [this](const QFileInfo &entry, QList<Found> &into) {
        if (MusicFiles::isAudioName(entry.fileName()) && !entry.isDir()) {
            QString path = entry.filePath();
            share(path);
            into.append({std::move(path), FileState::of(entry)});
        }
    };
    std::atomic<qsizetype> next{0};
    const auto work = [&] {
        for (qsizetype i = next++; i < top.size() && !overtaken(); i = next++) {
            const QFileInfo &entry = top.at(i);
            QList<Found> &into = parts[size_t(i)];
            take(entry, into);
            if (!entry.isDir() || entry.isSymLink())
                continue;
            MusicFiles::walkFiles(
                entry.filePath(),
                [&](QString &&path, const FileState &state) {
                    if (overtaken())
                        return false;
                    share(path);
                    into.append({std::move(path), state});
                    return true;
                },
                &skippedBelow[size_t(i)]);
        }
    };
    BackgroundThreads::run(
        int(std::min<qsizetype>(readers, std::max<qsizetype>(top.size(), 1))), work);
    if (overtaken())
        return false;
    qsizetype total = 0;
    for (const QList<Found> &part : parts)
        total += part.size();
    walked.reserve(total);
    for (size_t i = 0; i < parts.size(); ++i) {
        walked.append(std::move(parts[i]));
        skippedNames.files += skippedBelow[i].files;
        skippedNames.folders += skippedBelow[i].folders;
    }
    return true;
}

bool LibraryScanner::walkScope(const QStringList &scope, QList<Found> &walked)
{
    for (const QString &top : scope) {
        // Through the listing of its folder, so that what is taken (hidden
        // names, links, names that are not text) is what the whole walk takes.
        const qsizetype slash = top.lastIndexOf(QLatin1Char('/'));
        const QList<QFileInfo> siblings = MusicFiles::entries(top.left(slash));
        const QStringView name = QStringView(top).mid(slash + 1);
        const auto entry = std::find_if(siblings.cbegin(), siblings.cend(),
            [&name](const QFileInfo &sibling) { return sibling.fileName() == name; });
        if (entry == siblings.cend())
            continue; // gone
        if (!entry->isDir()) {
            if (MusicFiles::isAudioName(name))
                walked.append({top, FileState::of(*entry)});
            continue;
        }
        if (entry->isSymLink())
            continue;
        const bool finished
            = MusicFiles::walk(top, MusicFiles::Entries::All, [&](const QFileInfo &below) {
                  if (overtaken())
                      return false;
                  if (MusicFiles::isAudioName(below.fileName()) && !below.isDir())
                      walked.append({below.filePath(), FileState::of(below)});
                  return true;
              });
        if (!finished)
            return false;
    }
    return !overtaken();
}

bool LibraryScanner::update(const TrackTable &base, const QList<Found> &walked,
    const QList<UpdateMerge::Move> &moves, const QStringList &scope, QList<Record> &records,
    bool &same, QHash<QString, QString> &moved)
{
    UpdateMerge::Result result = UpdateMerge(base, walked, moves, scope).result();
    same = result.same;
    std::vector<Record> read(size_t(result.reads.size()));
    std::atomic<qsizetype> next{0};
    const bool finished = readAll([&](Job &job) {
        const qsizetype i = next++;
        if (i >= result.reads.size())
            return false;
        job.path = result.reads.at(i).path;
        job.state = result.reads.at(i).state;
        job.into = &read[size_t(i)];
        return true;
    });
    if (!finished)
        return false;
    for (qsizetype i = 0; i < result.reads.size(); ++i) {
        for (int row : result.reads.at(i).rows)
            result.records[row] = read[size_t(i)];
    }
    records = std::move(result.records);
    moved = std::move(result.moved);
    return true;
}

LibraryScanner::Outcome LibraryScanner::scan(const QString &folder, Kind kind,
    const std::shared_ptr<const TrackTable> &base, const QSet<QString> *skip,
    const QList<UpdateMerge::Move> &moves, QStringList scope)
{
    count = 0;
    inPlace = base.get();
    const auto forget = qScopeGuard([this] { inPlace = nullptr; });
    const bool isUpdate = kind == Kind::Update;
    bool whole = true;
    if (isUpdate)
        scope = walkOrderScope(folder, std::move(scope), moves, whole);
    if (!whole && scope.isEmpty()) {
        // Only hidden entries changed: nothing the library shows.
        if (progress)
            progress(0);
        return {base, !QFileInfo(folder).isDir(), {}, {}, true};
    }
    QList<Record> records = isUpdate || skip ? base->records() : QList<Record>();
    QList<Found> walked; // an update: every audio file, in walk order
    MusicFiles::SkippedNames skippedNames;
    // An empty path walks nothing (it is not the working directory).
    const bool finished = !isUpdate ? readWalk(folder, skip, records, skippedNames)
        : scope.isEmpty()           ? walkAll(folder, walked, skippedNames)
                                    : walkScope(scope, walked);
    if (!finished)
        return {};
    // A folder removed, renamed or unmounted walks as an empty one.
    const bool folderGone = !QFileInfo(folder).isDir();
    QHash<QString, QString> moved;
    if (isUpdate && !folderGone) {
        bool same = false;
        if (!update(*base, walked, moves, scope, records, same, moved))
            return {};
        if (same && !overtaken()) {
            if (progress)
                progress(count);
            return {base, false, {}, skippedNames, !scope.isEmpty()};
        }
    }
    if (progress)
        progress(count);
    if (overtaken())
        return {};
    // Shared only now: freeing the duplicates between the reads left holes
    // that made the reader's many small allocations a tenth slower.
    TrackTable::Interner interner;
    for (Record &record : records)
        interner.intern(record);
    return {std::make_shared<const TrackTable>(std::move(records)), folderGone, std::move(moved),
        skippedNames, !scope.isEmpty()};
}
