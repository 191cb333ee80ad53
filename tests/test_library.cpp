// The music library: texts, look-ups, scans of real files, the cache, hostile folders and caches.

#include "FakeMediaBackend.h"
#include "TestSupport.h"
#include "library/TrackTable.h"
#include "library/scan/FileState.h"
#include "library/scan/LibraryScanner.h"
#include "library/scan/MusicFiles.h"
#include "library/watcher/FolderWatcher.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSemaphore>
#include <QThreadPool>

#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tag.h>

#include <thread>

using namespace TestSupport;

namespace {

/** @p text as the UTF-16 bytes an ID3v2 tag holds it in. */
QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

/** The bytes of file @p path, empty when it cannot be read. */
QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** "path|artist|title|album|duration" of every record, sorted. */
QStringList fields(const Playlist &playlist)
{
    QStringList all;
    for (int i = 0; i < playlist.count(); ++i) {
        const Playlist::TrackInfo t = playlist.track(i);
        all << QStringList{t.url.path(), t.artist, t.title, t.album, t.duration}.join('|');
    }
    all.sort();
    return all;
}

/** Every cache entry with a path as Qt reads it: texts, mtime, size, ctime (-1 unless whole). */
QStringList entries(const QString &cache)
{
    QStringList all;
    for (const QJsonValue &track : QJsonDocument::fromJson(contents(cache))["tracks"].toArray()) {
        QStringList entry;
        for (const char *key : {"path", "artist", "title", "album", "duration", "trackArtist"})
            entry << track[key].toString();
        entry << QString::number(track["mtime"].toInteger(-1))
              << QString::number(track["size"].toInteger(-1))
              << QString::number(track["ctime"].toInteger(-1));
        if (!entry.first().isEmpty())
            all << entry.join('|');
    }
    return all;
}

/**
 * A file system of a few hundred kilobytes that this process can fill: a
 * tmpfs mounted in a mount namespace of its own (no root needed), reached
 * through the /proc root of the process that holds it.
 */
class SmallDisk {
public:
    explicit SmallDisk(const QString &mountPoint)
    {
        holder.start("unshare",
            {"-rm", "sh", "-c",
                "mount -t tmpfs -o size=256k tmpfs \"$0\" && echo ready "
                "&& exec sleep 600",
                mountPoint});
        if (holder.waitForReadyRead(20000) && holder.readAll().startsWith("ready"))
            root = QString("/proc/%1/root%2").arg(holder.processId()).arg(mountPoint);
        else
            error = holder.errorString() + ' ' + holder.readAllStandardError();
    }
    ~SmallDisk()
    {
        holder.kill();
        holder.waitForFinished();
    }
    /** Writes a file until no more fits. */
    bool fill()
    {
        QFile filler(root + "/filler");
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'f');
        int blocks = 0;
        while (filler.write(block) == block.size())
            ++blocks;
        return blocks > 0 && filler.error() == QFileDevice::ResourceError;
    }
    bool release()
    {
        return QFile::remove(root + "/filler");
    }

    QString root; ///< empty when no disk could be made; error says why
    QString error;

private:
    QProcess holder;
};

} // namespace

class TestLibrary : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    QString path(const QString &name) const
    {
        return dir->filePath(name);
    }
    /** Fills @p playlist through a cache of records: artist, title, album, duration, file name. */
    void fill(Playlist &playlist, const QList<QStringList> &rows)
    {
        QList<CacheEntry> entries;
        for (const QStringList &r : rows)
            entries.append({copyFixture("untagged.mp3", path(r[4])), r[0], r[1], r[2], r[3]});
        writeCache(path("fill.json"), entries);
        QVERIFY(playlist.loadFromCache(path("fill.json")));
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
    }
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        finishBackgroundWork();
    }

    void textsAndLookups()
    {
        // Either tag alone, none, "%1" in a tag (never filled in again); a path twice.
        Playlist playlist;
        fill(playlist,
            {{"Nina", "", "", "1:00", "a.ogg"}, {"", "Intro", "", "", "d.mp3"},
                {"", "", "", "", "x.mp3"}, {"%1 Crew", "Song", "", "2:00", "e.mp3"},
                {"D", "4", "", "", "d.mp3"}});
        QCOMPARE(playlist.getList(),
            (QStringList{"Nina - Unknown Title (1:00)", "Unknown Artist - Intro ()", "x.mp3",
                "%1 Crew - Song (2:00)", "D - 4 ()"}));
        for (int i : {-1, 5, 1 << 30})
            QCOMPARE(playlist.at(i).toString() + playlist.textAt(i), QString());
        QCOMPARE(playlist.indexOf(playlist.at(4)), 1); // the first of two
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(path("X.mp3"))), -1);
        // Search: folded and trimmed, up to a key's end but not across it; narrowed to given rows.
        const QList<int> mp3 = playlist.search(" .MP3");
        QCOMPARE(mp3, (QList<int>{1, 2, 3, 4}));
        QCOMPARE(playlist.search("a.ogg") + playlist.search("  "), QList<int>{0});
        QCOMPARE(
            playlist.search("d.mp3", &mp3) + playlist.search("nina", &mp3), (QList<int>{1, 4}));
        // Keys are Qt's compatibility decomposition without non-spacing marks, case-folded:
        // every character of the basic plane, and a pair.
        TrackTable::Record every;
        every.path = QString::fromUtf16(u"/m/\U00010400\u01c4.mp3");
        every.artist = "ΣΊΣΥΦΟΣ";
        for (char32_t unit = 1; unit < 0x10000; ++unit) {
            if (!QChar::isSurrogate(unit))
                every.title += QChar(char16_t(unit));
        }
        const QString key = TrackTable::searchKeyOf(every);
        QString folded;
        const QString decomposed = (every.artist + ' ' + every.title + "  " + every.path.mid(3))
                                       .normalized(QString::NormalizationForm_KD);
        for (const char32_t code : decomposed.toUcs4()) {
            if (QChar::category(code) != QChar::Mark_NonSpacing)
                folded += (QChar::requiresSurrogates(code) ? QString::fromUcs4(&code, 1)
                                                           : QString(QChar(char16_t(code))))
                              .toCaseFolded();
        }
        const auto differs
            = std::mismatch(key.cbegin(), key.cend(), folded.cbegin(), folded.cend());
        QVERIFY2(differs.first == key.cend() && differs.second == folded.cend(),
            qPrintable(
                QString("at %1: %2 against %3")
                    .arg(differs.first - key.cbegin())
                    .arg(differs.first == key.cend() ? 0 : differs.first->unicode(), 0, 16)
                    .arg(differs.second == folded.cend() ? 0 : differs.second->unicode(), 0, 16)));
    }

    // A large table is searched in parts at once: hits in every part, at the seams, within given
    // rows, come out as one pass over every key finds them.
    void largeTableSearch()
    {
        QList<TrackTable::Record> records;
        for (int i = 0; i < 45001; ++i)
            records.append({QString("/m/%1.mp3").arg(i), "", QString::number(i % 997)});
        const TrackTable table(records);
        // Every third row, the seam's among them.
        const QList<int> thirds = [] {
            QList<int> rows;
            for (int i = 0; i < 45001; i += 3)
                rows << i;
            return rows;
        }();
        for (const QString &query : {"99", "22500.", "0 ", "/44999.mp3", "45000", "."}) {
            for (const QList<int> *within : {static_cast<const QList<int> *>(nullptr), &thirds}) {
                QList<int> expected;
                for (int row = 0; row < table.count(); ++row) {
                    if ((!within || row % 3 == 0) && table.searchKey(row).contains(query))
                        expected << row;
                }
                const QList<int> found = table.search(query, within);
                QVERIFY2(found == expected,
                    qPrintable(QString("%1%2: %3 hits, %4 expected")
                                   .arg(query, within ? " in every third row" : "")
                                   .arg(found.size())
                                   .arg(expected.size())));
            }
        }
    }

    // Keys laid out on first use: two threads searching at once both wait for
    // the one layout, and find what a table that built its keys at once finds.
    void keysLaidOutLater()
    {
        QList<TrackTable::Record> records;
        for (int i = 0; i < 30000; ++i)
            records.append({QString("/m/Ä%1.mp3").arg(i), "Ärtist", QString::number(i % 101)});
        const TrackTable now(records);
        const TrackTable later(records, TrackTable::Keys::Later);
        QCOMPARE(later.rowOf("/m/Ä29999.mp3"), 29999);
        const QString query = TrackTable::searchForm(u"ä12");
        QList<int> other;
        std::thread second([&] { other = later.search(query, nullptr); });
        const QList<int> found = later.search(query, nullptr);
        second.join();
        const QList<int> expected = now.search(query, nullptr);
        QVERIFY2(!expected.isEmpty() && found == expected && other == expected,
            qPrintable(QString("%1 and %2 hits, %3 expected")
                           .arg(found.size())
                           .arg(other.size())
                           .arg(expected.size())));
        QCOMPARE(later.searchKey(29999), now.searchKey(29999));
    }

    void searchForms_data()
    {
        // Rows: "Café Tacuba" composed, "Café del Mar" decomposed, "Beyoncé", "ﬁre" (a
        // ligature), "Ｆｕｌｌ" (full width) with the album "Straße"; what a query finds.
        columns<QString, QList<int>>("query", "hits");
        QTest::newRow("composed accent") << QString::fromUtf16(u"café") << QList<int>{0, 1};
        QTest::newRow("decomposed accent") << QString::fromUtf16(u"CAFÉ") << QList<int>{0, 1};
        QTest::newRow("no accent") << "beyonce" << QList<int>{2};
        QTest::newRow("accent on the query only")
            << QString::fromUtf16(u"béyoncé") << QList<int>{2};
        QTest::newRow("ligature spelt out") << "fire" << QList<int>{3};
        QTest::newRow("ligature typed") << QString::fromUtf16(u"ﬁ") << QList<int>{3};
        QTest::newRow("full width") << "full" << QList<int>{4};
        QTest::newRow("the start of a row only") << "cafe t" << QList<int>{0};
        QTest::newRow("the end of a row only") << "e.mp3" << QList<int>{4};
        QTest::newRow("an accent alone") << QString::fromUtf16(u" ́ ") << QList<int>{};
        QTest::newRow("sharp s stays") << QString::fromUtf16(u"straß") << QList<int>{4};
    }
    void searchForms()
    {
        QFETCH(QString, query);
        Playlist playlist;
        fill(playlist,
            {{QString::fromUtf16(u"Café Tacuba"), "Eres", "", "1:00", "a.mp3"},
                {QString::fromUtf16(u"Café del Mar"), "Agua", "", "", "b.mp3"},
                {QString::fromUtf16(u"Beyoncé"), "Halo", "", "", "c.mp3"},
                {"", QString::fromUtf16(u"ﬁre"), "", "", "d.mp3"},
                {QString::fromUtf16(u"Ｆｕｌｌ"), QString::fromUtf16(u"ŒUVRE"),
                    QString::fromUtf16(u"Straße"), "", "e.mp3"}});
        QTEST(playlist.search(query), "hits");
        // Narrowed to the rows of an earlier query, the same.
        const QList<int> all{0, 1, 2, 3, 4};
        QTEST(playlist.search(query, &all), "hits");
    }

    void scanRealAndHostileFiles()
    {
        // Each format's tags via odd paths and suffix cases, other files skipped; cut files, a
        // folder named as a track, a FIFO, links, a loop: one record each, with a length; progress.
        const QList<QStringList> files{{"untagged.mp3", "untagged.mp3", "|||0:01"},
            {"tone.mp3", "Ünï/トラック ♪.MP3", "Mp3 Album Artist|Mp3 Tone|Fixture Album|0:01"},
            {"tone.ogg", "a/b/'n \"quote\".Ogg", "Ogg Album Artist|Ogg Tone|Fixture Album|0:01"},
            {"tone.flac", "-dash.Flac", "Flåc Ärtist|Flac Tøne ♪|Fixture Album|0:01"},
            {"tone.wav", "album.mp3/tone.wav", "Wav Album Artist|Wav Tone|Fixture Album|0:01"},
            {"info-tagged.wav", "info.wav",
                "Info Performer|Info Tone|Info Album|0:00"}, // RIFF INFO
            {"title-only.ogg", "title-only.ogg", "|Only A Title||0:01"},
            {"tone.opus", "tone.Opus", "Opus Album Artist|Opus Tone|Fixture Album|0:01"},
            {"tone.m4a", "aac.M4A", "Aac Album Artist|Aac Tone|Fixture Album|0:01"},
            {"alac.m4a", "alac.m4a", "Alac Album Artist|Alac Tone|Fixture Album|0:01"},
            {"tone.wma", "tone.WMA", "Wma Album Artist|Wma Tone|Fixture Album|0:01"},
            {"tone.wv", "tone.Wv", "Wv Album Artist|Wv Tone|Fixture Album|0:01"},
            {"tone.aiff", "tone.aiff", "Aiff Album Artist|Aiff Tone|Fixture Album|0:01"},
            {"tone.aiff", "short.AIF", "Aiff Album Artist|Aiff Tone|Fixture Album|0:01"},
            {"tone.ape", "tone.Ape", "Ape Album Artist|Ape Tone|Fixture Album|0:01"}};
        QStringList expected;
        for (const QStringList &file : files)
            expected << copyFixture(file[0], path(file[1])) + '|' + file[2];
        for (const char *name : {"other.m4b", "backup.mp3.bak", "noext", "tone.mp33", "c.wvc"})
            copyFixture("tone.mp3", path(name));
        const QStringList stems{"quote'\"", "new\nline", "back\\slash", QString(200, 'l')};
        const QStringList suffixes{"mp3", "ogg", "flac", "wav", "MP3", "Flac"};
        for (int n = 0; n < 100; ++n) {
            expected << path(QString("cut/%1 %2.%3").arg(n).arg(stems[n % 4], suffixes[n / 4 % 6]));
            QVERIFY(QFile::resize(copyFixture("tone." + suffixes[n % 4], expected.last()), n * 37));
        }
        QCOMPARE(mkfifo(QFile::encodeName(path("pipe.mp3")).constData(), 0600), 0);
        QVERIFY(QFile::link(dir->path(), path("a/loop")));
        QVERIFY(QFile::link(path("gone.wav"), path("dangling.wav")));
        QVERIFY(QFile::link(path("pipe.mp3"), path("to-pipe.ogg")));
        // A link to an audio file: the target's tags under the link's path.
        QVERIFY(QFile::link(path("-dash.Flac"), path("a/linked.flac")));
        expected << path("a/linked.flac") + "|Flåc Ärtist|Flac Tøne ♪|Fixture Album|0:01";
        Playlist scan;
        auto log = std::make_shared<QList<int>>(); // progress reports, then -1 at the end
        scan.loadFromFolder(
            dir->path(), [log](int n) { log->append(n); }, [log] { log->append(-1); });
        QVERIFY(QTest::qWaitFor([&] { return log->contains(-1) && noScanPending(scan); }, 180000));
        QCOMPARE(*log, (QList<int>{100, scan.count(), -1}));
        QStringList found = fields(scan);
        found.replaceInStrings(QRegularExpression("(/cut/[^|]*)\\|.*"), "\\1");
        for (const char *name : {"pipe.mp3|", "to-pipe.ogg|"}) // maybe listed; a dangling link not
            found.removeIf([name](const QString &record) { return record.contains(name); });
        expected.sort();
        QCOMPARE(found, expected);
        for (int i = 0; i < scan.count(); ++i) {
            const Playlist::TrackInfo t = scan.track(i);
            QVERIFY2(t.duration.contains(':'), qPrintable(t.url.toLocalFile() + ": " + t.duration));
        }
        // The track artist beside the album artist is searched too, also after the cache.
        Playlist cached;
        QVERIFY(scan.saveToCache(path("c.json")));
        QVERIFY(cached.loadFromCache(path("c.json")));
        const QList<int> row{cached.indexOfPath(path("Ünï/トラック ♪.MP3"))};
        QCOMPARE(cached.search("mp3 performer", &row), row);
    }

    void readsAsTagLibReadsFiles_data()
    {
        // Every format, files cut short or not what their names say, and one read in parts: a
        // picture longer than a read of the system before the tags, more tags at the end.
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("cutTo");
        for (const QString &name : QDir(fixture(QString())).entryList(QDir::Files)) {
            if (MusicFiles::isAudioName(name))
                QTest::newRow(qPrintable(name)) << name << name << -1;
        }
        QTest::newRow("empty") << "tone.flac"
                               << "empty.flac" << 0;
        QTest::newRow("cut short") << "tone.flac"
                                   << "cut.flac" << 100;
        QTest::newRow("named as another format") << "tone.ogg"
                                                 << "ogg.mp3" << -1;
        QTest::newRow("a large picture first") << "tone.mp3"
                                               << "large.mp3" << -2;
    }
    void readsAsTagLibReadsFiles()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, name);
        QFETCH(int, cutTo);
        const QString file = copyFixture(fixture, path(name));
        if (cutTo >= 0)
            writeFile(file, contents(file).left(cutTo));
        if (cutTo == -2) {
            TagLib::MPEG::File tagged(QFile::encodeName(file).constData());
            auto *picture = new TagLib::ID3v2::AttachedPictureFrame;
            picture->setPicture(TagLib::ByteVector(300000, 'p'));
            tagged.ID3v2Tag(true)->addFrame(picture);
            tagged.ID3v1Tag(true)->setComment("at the end");
            QVERIFY(tagged.save());
            QVERIFY(QFileInfo(file).size() > 300000);
        }
        const FileState state = FileState::of(QFileInfo(file));
        const TrackTable::Record read = LibraryScanner::read(file, state);
        const TagLib::FileRef ref(
            QFile::encodeName(file).constData(), true, TagLib::AudioProperties::Average);
        const TrackTable::Record byTagLib = LibraryScanner::read(file, state, ref);
        const auto shown = [](const TrackTable::Record &record) {
            return QStringList{
                record.artist, record.title, record.album, record.trackArtist, record.duration}
                .join('|');
        };
        QCOMPARE(shown(read), shown(byTagLib));
    }

    void libraryScansAndCaches()
    {
        // Each call's signals, "|" where it returned, installs as "how: list; ready", the cache.
        const QString folder = path("music");
        const QString cache = Library::cachePath(folder);
        copyFixture("tone.mp3", folder + "/a.mp3");
        copyFixture("tone.ogg", folder + "/b.ogg");
        Library library;
        library.setWatching(false); // every check for changes here is asked for by hand
        QStringList log;
        connect(&library, &Library::scanStarted, this, [&log] { log << "scanStarted"; });
        connect(&library, &Library::status, this, [&log](const QString &text, int seconds) {
            log << text + ' ' + QString::number(seconds);
        });
        connect(&library, &Library::installed, this, [&](Library::Install how) {
            QStringList items = library.tracks()->getList();
            if (how == Library::Install::Scan)
                items.sort(); // a scan lists in the file system's order
            log << QVariant::fromValue(how).toString() + ": " + items.join(", ") + "; "
                    + library.readyMessage(how) + ' ' + QString::number(library.readyTimeout());
        });
        const auto settled = [&] {
            log << "|";
            if (!QTest::qWaitFor([&] { return !library.busy(); }, 120000))
                log << "still busy";
            finishBackgroundWork(); // and whatever else would come
            Playlist saved;
            saved.loadFromCache(cache);
            log << (fields(saved) == fields(*library.tracks()) ? "cache: same" : "cache: other");
            return std::exchange(log, {}).join(" / ");
        };
        const QString scan = "scanStarted / Refreshing playlist... 0 / ";
        const QString found = "2 tracks found... 0 / Scan: ";
        const QString tracks
            = "Mp3 Album Artist - Mp3 Tone (0:01), Ogg Album Artist - Ogg Tone (0:01)";
        const QString load = "Loading playlist... 0 / | / ";
        library.rescan();
        library.loadCacheAndCheck();
        library.checkForChanges();
        QCOMPARE(settled(), "| / cache: same"); // no folder: nothing happens
        library.restoreFolder(folder);
        library.checkForChanges(); // nothing installed to compare with
        QCOMPARE(settled(), "| / cache: same");
        library.loadCacheAndCheck(); // no cache: a full scan
        QCOMPARE(settled(), load + scan + found + tracks + "; Playlist refreshed. 5 / cache: same");
        writeCache(cache, {{folder + "/b.ogg", "B", "Cached"}});
        library.loadCacheAndCheck(); // the cache, then the new files; an old record is trusted
        QCOMPARE(settled(),
            load
                + "Cache: B - Cached (); Playlist updated. 5 / Checking for new tracks... 5 / "
                  "Update: B - Cached (), Mp3 Album Artist - Mp3 Tone (0:01); Playlist updated. "
                  "5 / cache: same");
        library.rescan(); // the cache ignored
        QCOMPARE(
            settled(), scan + "| / " + found + tracks + "; Playlist refreshed. 5 / cache: same");
        // A retagged file is read again in place, a deleted one dropped, a new one appended. A
        // check asked for while one runs runs after it.
        TagLib::FileRef retag(QFile::encodeName(folder + "/a.mp3").constData());
        retag.tag()->setTitle("Retagged");
        QVERIFY(retag.save());
        QFile touched(folder + "/a.mp3");
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(
            QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
        QVERIFY(QFile::remove(folder + "/b.ogg"));
        copyFixture("untagged.mp3", folder + "/c.mp3");
        library.checkForChanges();
        library.checkForChanges();
        const QString now = "Mp3 Album Artist - Retagged (0:01), c.mp3";
        const QString synced = "Update: " + now + "; Playlist updated. 5";
        QCOMPARE(settled(), "| / " + synced + " / " + synced + " / cache: same");
        // Names that are not valid UTF-8 cannot be listed: told with each scan that meets them.
        makeRawName(folder, "bad\xff.mp3");
        makeRawName(folder, "Caf\xe9/x.mp3");
        const QString skipped = " 1 file and 1 folder skipped: their names are not valid UTF-8. 10";
        library.checkForChanges();
        QCOMPARE(
            settled(), "| / Update: " + now + "; Playlist updated." + skipped + " / cache: same");
        library.rescan();
        QCOMPARE(settled(),
            scan + "| / " + found + now + "; Playlist refreshed." + skipped + " / cache: same");
        removeRawTree(folder, "bad\xff.mp3");
        removeRawTree(folder, "Caf\xe9");
        library.checkForChanges();
        QCOMPARE(settled(), "| / " + synced + " / cache: same");
        QVERIFY(QDir().rename(folder, folder + "-moved"));
        library.checkForChanges();
        QCOMPARE(settled(), "| / The music folder is gone: " + folder + " 0 / cache: other");
        QCOMPARE(library.tracks()->count(), 2);
        QVERIFY(QDir().rename(folder + "-moved", folder));
        QVERIFY(QFile::remove(cache));
        QVERIFY(QDir().mkpath(cache)); // no save can replace a folder
        library.setFolder(folder);
        QCOMPARE(settled(),
            scan + "| / " + found + now
                + "; Playlist refreshed. 5 / Failed to save playlist cache. 10 / cache: other");
        // While saves fail, the next install says so too, rather than that all went well; one
        // that changed nothing tries the save again, since the cache on disk is behind.
        library.checkForChanges();
        const QString told = settled();
        const QString failed = "Failed to save playlist cache. 10";
        QCOMPARE(told,
            "| / Update: " + library.tracks()->getList().join(", ") + "; " + failed + " / " + failed
                + " / cache: other");
    }

    // While the player runs, files copied in, renamed, retagged in place and removed reach the
    // library by themselves (the folder going and coming back: folderMountedLater()); an album
    // copied at once is one install, and a track playing from an album renamed goes on as itself.
    void watchedFolderFollowsTheDisk()
    {
        const QString folder = path("watched");
        copyFixture("tone.mp3", folder + "/a.mp3");
        Library library;
        library.folderWatcher()->setBatchTimes(300, 3000);
        library.folderWatcher()->setCheckInterval(200);
        QStringList seen;
        connect(&library, &Library::installed, this, [&](Library::Install how) {
            QStringList rows = library.tracks()->getList();
            rows.sort(); // new files come in the file system's order
            seen << QVariant::fromValue(how).toString() + ": " + rows.join(", ");
        });
        connect(&library, &Library::status, this, [&](const QString &text) {
            if (text.startsWith("The music folder is gone"))
                seen << "gone";
        });
        const auto next = [&](const QString &expected) {
            const bool arrived = QTest::qWaitFor([&] { return !seen.isEmpty(); }, 30000);
            QVERIFY2(arrived, qPrintable("nothing came; expected " + expected));
            QCOMPARE(seen.takeFirst(), expected);
        };
        library.restoreFolder(folder);
        library.loadCacheAndCheck();
        next("Scan: Mp3 Album Artist - Mp3 Tone (0:01)");
        QTRY_VERIFY_WITH_TIMEOUT(!library.busy(), 30000);
        QTest::qWait(500); // the watch is in place
        copyFixture("tone.ogg", folder + "/album/b.ogg");
        copyFixture("untagged.mp3", folder + "/album/c.mp3");
        next("Update: Mp3 Album Artist - Mp3 Tone (0:01), Ogg Album Artist - Ogg Tone (0:01), "
             "c.mp3");
        QueueController queue(library.tracks());
        PlayerController player(std::make_unique<FakeMediaBackend>(), &library, &queue);
        player.playRow(library.tracks()->indexOfPath(folder + "/album/b.ogg"));
        const QStringList rows = library.tracks()->getList();
        QVERIFY(QDir().rename(folder + "/album", folder + "/disc"));
        next("Update: Mp3 Album Artist - Mp3 Tone (0:01), Ogg Album Artist - Ogg Tone (0:01), "
             "c.mp3");
        QCOMPARE(library.tracks()->getList(), rows);
        QCOMPARE(player.currentPath(), folder + "/disc/b.ogg");
        QCOMPARE(player.source(), QUrl::fromLocalFile(folder + "/disc/b.ogg"));
        QTest::qWait(20); // the file system's clock moves on in steps of a few milliseconds
        // Retagged in place, size and modification time kept as tag editors may: only the change
        // time tells.
        QFile tagged(folder + "/a.mp3");
        QVERIFY(tagged.open(QIODevice::ReadWrite));
        const QDateTime modified = tagged.fileTime(QFileDevice::FileModificationTime);
        const QByteArray bytes = tagged.readAll();
        QVERIFY(tagged.seek(0));
        const QByteArray retagged = QByteArray(bytes).replace(utf16("Mp3 Tone"), utf16("Retagged"));
        QVERIFY(retagged != bytes);
        QCOMPARE(tagged.write(retagged), bytes.size());
        QVERIFY(tagged.flush());
        QVERIFY(tagged.setFileTime(modified, QFileDevice::FileModificationTime));
        tagged.close();
        QCOMPARE(QFileInfo(folder + "/a.mp3").lastModified(), modified);
        next("Update: Mp3 Album Artist - Retagged (0:01), Ogg Album Artist - Ogg Tone (0:01), "
             "c.mp3");
        QVERIFY(QFile::remove(folder + "/disc/b.ogg"));
        next("Update: Mp3 Album Artist - Retagged (0:01), c.mp3");
        QTest::qWait(1000);
        QCOMPARE(seen, QStringList());
        // Started again from its cache, it watches as well.
        library.restoreFolder(folder);
        library.loadCacheAndCheck();
        next("Cache: Mp3 Album Artist - Retagged (0:01), c.mp3");
        next("Update: Mp3 Album Artist - Retagged (0:01), c.mp3");
        QTRY_VERIFY_WITH_TIMEOUT(!library.busy(), 30000);
        QTest::qWait(500); // the watch is in place
        QVERIFY(QFile::remove(folder + "/disc/c.mp3"));
        next("Update: Mp3 Album Artist - Retagged (0:01)");
    }

    // A music folder on a drive or share: not there at the start, mounted later, its contents
    // gone while its mount point stays, mounted again. Each is read without a user action, and
    // the empty folder gets no cache of nothing, which would stand in for the drive's.
    void folderMountedLater()
    {
        const QString folder = path("media/Music");
        const QString cache = Library::cachePath(folder);
        writeLibrary(path("drive"));
        Library library;
        library.folderWatcher()->setBatchTimes(100, 1000);
        library.folderWatcher()->setCheckInterval(50);
        QStringList seen;
        connect(&library, &Library::installed, this, [&](Library::Install how) {
            seen << QVariant::fromValue(how).toString() + ' '
                    + QString::number(library.tracks()->count());
        });
        connect(&library, &Library::status, this, [&](const QString &text) {
            if (text.startsWith("The music folder is gone"))
                seen << "gone";
        });
        const auto settled = [&](int news) {
            if (!QTest::qWaitFor([&] { return seen.size() >= news && !library.busy(); }, 30000))
                seen << "(waited in vain)";
            QTest::qWait(300); // and whatever else would come
            return std::exchange(seen, {}).join(", ");
        };
        library.restoreFolder(folder);
        library.loadCacheAndCheck();
        QCOMPARE(settled(1).section(", ", -1), "gone");
        QVERIFY(QDir().mkpath(path("media")));
        QVERIFY(QDir().rename(path("drive"), folder)); // mounted
        QCOMPARE(settled(2), "Cache 3, Update 3");
        QVERIFY(QDir().rename(folder, path("drive"))); // unplugged, its mount point left
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(settled(2), "gone, gone");
        QCOMPARE(library.tracks()->count(), 3);
        QVERIFY2(!QFileInfo::exists(cache), "a cache of nothing in the empty mount point");
        QCOMPARE(::rename(QFile::encodeName(path("drive")).constData(),
                     QFile::encodeName(folder).constData()),
            0); // mounted again
        QCOMPARE(settled(2), "gone, Update 3");
    }

    void warningsPerFolder()
    {
        // A folder's warning is told once while it is the music folder, and again whenever a
        // folder that meets it is chosen; a folder left before its walk ended tells nothing.
        for (const char *name : {"A/sub/a.mp3", "B/sub/b.mp3"})
            copyFixture("tone.mp3", path(name));
        Library library;
        library.folderWatcher()->setWatchLimit(1);
        QStringList told;
        connect(
            &library, &Library::status, this, [&](const QString &text, int, Library::Status kind) {
                if (kind == Library::Status::Problem)
                    told << QFileInfo(library.folder()).fileName() + ' ' + text.section(':', 0, 0);
            });
        const auto settled = [&](int warnings) {
            QTest::qWaitFor([&] { return told.size() >= warnings && !library.busy(); }, 30000);
            QTest::qWait(300); // and whatever else would come
            return told.join(", ");
        };
        library.restoreFolder(path("A"));
        library.loadCacheAndCheck();
        QCOMPARE(settled(1), "A Too many folders to watch");
        library.checkForChanges();
        QCOMPARE(settled(1), "A Too many folders to watch");
        library.setFolder(path("B"));
        library.setFolder(path("A"));
        library.setFolder(path("B"));
        QCOMPARE(settled(2), "A Too many folders to watch, B Too many folders to watch");
        library.restoreFolder(path("A"));
        library.loadCacheAndCheck();
        QCOMPARE(settled(3),
            "A Too many folders to watch, B Too many folders to watch, A Too many folders to "
            "watch");
    }

    void cacheSaveOnAFullDisk_data()
    {
        // Records in the library: a cache that stays in the file buffer until the save ends, or
        // one well beyond it.
        QTest::addColumn<int>("files");
        QTest::newRow("small cache") << 1;
        QTest::newRow("large cache") << 200;
    }
    void cacheSaveOnAFullDisk()
    {
        // A save that finds the disk full keeps the old cache byte for byte and says so; once
        // there is room the next change saves, and all is well again.
        QFETCH(int, files);
        SmallDisk disk(dir->path());
        QVERIFY2(!disk.root.isEmpty(), qPrintable("no small file system: " + disk.error));
        const QString folder = disk.root + "/music";
        for (int i = 0; i < files; ++i)
            writeFile(QString("%1/%2.mp3").arg(folder).arg(i), {}); // takes no room
        Library library;
        QStringList problems;
        connect(&library, &Library::status, this,
            [&problems](const QString &text, int, Library::Status kind) {
                if (kind == Library::Status::Problem)
                    problems << text;
            });
        const auto settle = [&] { return QTest::qWaitFor([&] { return !library.busy(); }, 60000); };
        QVERIFY(openUnwatched(library, folder));
        const QString cache = Library::cachePath(folder);
        const QByteArray old = contents(cache);
        QVERIFY(!old.isEmpty());
        QCOMPARE(entries(cache).size(), files);
        QVERIFY(disk.fill());
        writeFile(folder + "/new.mp3", {});
        library.checkForChanges();
        QVERIFY(settle());
        QCOMPARE(problems, QStringList{"Failed to save playlist cache."});
        QVERIFY(library.cacheSaveFailed());
        QCOMPARE(contents(cache), old);
        QCOMPARE(QDir(folder).entryList({"playlist_cache*"}, QDir::Files | QDir::Hidden),
            QStringList{"playlist_cache.json"});
        QVERIFY(disk.release());
        writeFile(folder + "/newer.mp3", {});
        library.checkForChanges();
        QVERIFY(settle());
        QCOMPARE(problems.size(), 1);
        QVERIFY(!library.cacheSaveFailed());
        QCOMPARE(library.readyMessage(Library::Install::Update), QString("Playlist updated."));
        QCOMPARE(entries(cache).size(), files + 2);
    }

    // The scan's rules hold however it is split up: tags read on many threads come out in walk
    // order, and an update kept to the paths the watcher names finds what a whole one finds.
    void scanSplitUpFindsTheSame()
    {
        const QString root = path("split");
        for (const QString &name : {"b/10.mp3", "b/9.ogg", "b/2.flac", "a/x.mp3", "c/d/e.wav",
                 "c/z.mp3", "top.mp3", "gone/1.mp3"})
            copyFixture("tone." + QFileInfo(name).suffix(), root + '/' + name);
        const auto never = [] { return false; };
        const auto recordsOf = [](const LibraryScanner::Outcome &outcome) {
            QStringList rows;
            for (const TrackTable::Record &record : outcome.table->records())
                rows << record.path.mid(record.path.lastIndexOf("split/") + 6) + ' ' + record.title;
            return rows;
        };
        QList<int> progress;
        LibraryScanner many(
            never, [&progress](int found) { progress << found; }, 5);
        const auto empty = std::make_shared<const TrackTable>();
        const LibraryScanner::Outcome full = many.scan(root, LibraryScanner::Kind::Full, empty);
        const QStringList walkOrder = {"a/x.mp3 Mp3 Tone", "b/2.flac Flac Tøne ♪",
            "b/9.ogg Ogg Tone", "b/10.mp3 Mp3 Tone", "c/d/e.wav Wav Tone", "c/z.mp3 Mp3 Tone",
            "gone/1.mp3 Mp3 Tone", "top.mp3 Mp3 Tone"};
        QCOMPARE(recordsOf(full), walkOrder);
        QCOMPARE(progress, QList<int>{8});

        // Changes: a new folder, a file in a hidden one, a link to a folder, a folder gone, a new
        // file beside a kept one.
        copyFixture("tone.mp3", root + "/b/n/1.mp3");
        copyFixture("tone.mp3", root + "/b/n/0.mp3");
        copyFixture("tone.mp3", root + "/c/.hidden/h.mp3");
        QVERIFY(QFile::link(root + "/a", root + "/c/link"));
        QVERIFY(QDir(root + "/gone").removeRecursively());
        copyFixture("tone.ogg", root + "/c/y.ogg");
        const QStringList seen = {root + "/b/n", root + "/c/.hidden/h.mp3", root + "/c/link",
            root + "/gone", root + "/c/y.ogg", root + "/c/y.ogg"};
        LibraryScanner one(never, {}, 1);
        const LibraryScanner::Outcome whole
            = one.scan(root, LibraryScanner::Kind::Update, full.table);
        const LibraryScanner::Outcome scoped
            = one.scan(root, LibraryScanner::Kind::Update, full.table, nullptr, {}, seen);
        QCOMPARE(recordsOf(scoped), recordsOf(whole));
        QCOMPARE(recordsOf(whole).mid(7),
            (QStringList{"b/n/0.mp3 Mp3 Tone", "b/n/1.mp3 Mp3 Tone", "c/y.ogg Ogg Tone"}));
        QVERIFY(scoped.scoped);
        // Outside the folder, or the folder itself: the whole folder is walked.
        const LibraryScanner::Outcome outside = one.scan(
            root, LibraryScanner::Kind::Update, full.table, nullptr, {}, {path("elsewhere")});
        QCOMPARE(recordsOf(outside), recordsOf(whole));
        QVERIFY(!outside.scoped);
    }

    void overlappingScansKeepTheNewest_data()
    {
        // The older scan: an update?, its files; the newer scan: an update?, its files.
        QTest::addColumn<QList<int>>("scans");
        QTest::newRow("full, full, older slower") << QList<int>{0, 150, 0, 2};
        QTest::newRow("update, full") << QList<int>{1, 1, 0, 2};
        QTest::newRow("full, update") << QList<int>{0, 150, 1, 2};
    }
    void overlappingScansKeepTheNewest()
    {
        QFETCH(QList<int>, scans);
        for (int i = 0; i < scans[1] + scans[3]; ++i)
            writeFile(path(QString(i < scans[1] ? "old/%1.mp3" : "new/%1.mp3").arg(i)), {});
        Playlist playlist;
        auto calls = std::make_shared<int>(0); // the newer scan's, plus 1000 for the older one's
        for (int older : {1, 0}) {
            const std::function<void()> done = [calls, older] { *calls += older ? 1000 : 1; };
            if (scans[older ? 0 : 2])
                playlist.updateFromFolder(path(older ? "old" : "new"), {}, done);
            else
                playlist.loadFromFolder(path(older ? "old" : "new"), {}, done);
        }
        QVERIFY(QTest::qWaitFor([&] { return *calls > 0 && noScanPending(playlist); }, 180000));
        QCOMPARE(*calls, 1);
        QCOMPARE(playlist.count(), scans[3]);
    }

    void cacheLoad_data()
    {
        // $A: an existing file, $GONE: a deleted one; $NONE, $FIFO: no regular file. The list after
        // the load: a refused one keeps the library, "?" is left to the outcome; each saves again.
        columns<QByteArray, QStringList>("content", "list");
        QTest::newRow("wrong types, a missing file")
            << QByteArray(R"({"tracks": [42, null, "x", [], {"path": 7}, {"artist": "x"}, {"path":
                "$A", "artist": 12, "title": true}, {"path": "$GONE", "title": "0"}, {"path": "$A",
                "artist": "A", "title": "1", "duration": "0:01"}]})")
            << QStringList{"a.mp3", "Unknown Artist - 0 ()", "A - 1 (0:01)"};
        const QJsonObject hostile{{"path", "$A"}, {"artist", "q\"b\\s/\x01\n\t\x1f%1"},
            {"title", QString::fromUtf16(u"\U0001F3B5 \u00e9 ") + QChar(0xd800)},
            {"album", QString(1, QChar(0))}, {"trackArtist", "\r\b\f"}, {"mtime", "12"},
            {"size", 1.5}, {"x", QJsonObject{{"y", 1}}}};
        const QJsonArray tracks{hostile, QJsonObject{{"path", "$A"}, {"mtime", 7}, {"size", 0}}};
        QTest::newRow("texts to escape, mtime and size of other types")
            << QJsonDocument(QJsonObject{{"tracks", tracks}}).toJson() << QStringList{"?"};
        QJsonObject written = hostile;
        written.remove("x");
        written["mtime"] = 1765000000;
        written["size"] = 4096;
        written["ctime"] = qint64(1765000000123);
        const QByteArray layout = QJsonDocument(
            QJsonObject{{"tracks", QJsonArray{written, QJsonObject{{"path", "$A"}, {"size", 0}}}}})
                                      .toJson();
        QTest::newRow("texts to escape, in the written layout") << layout << QStringList{"?"};
        // Caches of a megabyte and more are read in two halves at once, and written some
        // thousand entries at a time.
        QJsonArray many;
        for (int i = 0; i < 9000; ++i) {
            written["path"] = QString("/m/%1.mp3").arg(i);
            many.append(written);
        }
        const QByteArray large = QJsonDocument(QJsonObject{{"tracks", many}}).toJson();
        const qsizetype last = large.lastIndexOf('}', large.lastIndexOf(']'));
        QTest::newRow("large") << large << QStringList{"?"};
        QTest::newRow("large, a number only Qt reads near the end") << QByteArray(large).insert(
            last + 1, R"(, {"path": "$A", "mtime": 1e3})") << QStringList{"?"};
        QTest::newRow("large, not JSON near the end")
            << QByteArray(large).insert(last + 1, ", {\"path\": \"$A\", \"title\": \"\x01\"}")
            << QStringList{"?"};
        QTest::newRow("large, cut short") << large.left(large.size() * 2 / 3) << QStringList{"?"};
        QJsonArray lookAlike;
        for (int i = 0; i < 9000; ++i) {
            written["path"] = QString("/m/%1.mp3").arg(i);
            written["title"] = QString("}, {").repeated(i % 7);
            lookAlike.append(written);
        }
        QTest::newRow("large, titles that look like an entry's end and start")
            << QJsonDocument(QJsonObject{{"tracks", lookAlike}}).toJson() << QStringList{"?"};
        const QJsonArray around{written,
            QJsonObject{
                {"path", "$A"}, {"title", QString("\"}, {\"path\": 1}, {").repeated(50000)}},
            written};
        QTest::newRow("large, its middle inside a text")
            << QJsonDocument(QJsonObject{{"tracks", around}}).toJson() << QStringList{"?"};
        // Other spellings of the same JSON read as Qt reads them.
        const QList<QByteArray> spellings{
            R"({"tracks":[{"title":"T","path":"$A","size":2,"mtime":1}],"tracks":[]})",
            R"({"tracks": [{"path": "$A", "title": "1", "title": 2, "mtime": 5, "mtime": ""}]})",
            R"({"tracks": [{"p\u0061th": "$A", "title": "x"}]})",
            R"({"tracks": [{"path": "$A", "title": "\u00C9\/\uD83C\uDFB5\ud800\u0022"}]})",
            R"({"version": [2], "tracks": [{"path": "$A", "album": null, "title": true}]})",
            R"({"tracks": [{"path": "$A", "mtime": 1e3, "size": 1234567890123456}]})",
            R"({"tracks": [{"path": "$A", "mtime": -0, "size": 1.0, "artist": false}]})",
            R"({"tracks": [{"path": "$A", "mtime": 0123}]})",
            "\xef\xbb\xbf{\"tracks\": [{\"path\": \"$A\", \"title\": \"\x01\"}]}",
            "{\"tracks\": [{\"path\": \"$A\", \"title\": \"a\tb\", \"x\ny\": 1}]}",
            "{\r\n\t\"tracks\"\t:\r\n[ {\"path\":\"$A\" , \"title\" :\"\xc3\xa9\"}\n]\n}\n"};
        for (qsizetype i = 0; i < spellings.size(); ++i)
            QTest::addRow("spelled differently %d", int(i)) << spellings[i] << QStringList{"?"};
        // Overlong, a surrogate, beyond U+10FFFF, a stray continuation, cut short.
        for (const QByteArray &bad : {"\xe0\x80\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\x80",
                 "\xc3"
                 "A",
                 "\xc3"})
            QTest::addRow("not UTF-8: %s", bad.toHex().constData())
                << "{\"tracks\": [{\"path\": \"$A\", \"title\": \"" + bad + "\"}]}"
                << QStringList{"?"};
        QTest::newRow("tracks not an array")
            << QByteArray(R"({"tracks": {"path": "$A"}})") << QStringList{};
        for (const QByteArray &bad : {QByteArray(), QByteArray("not json"), QByteArray("42"),
                 QByteArray(R"([{"tracks": []}])"), QByteArray(R"({"tracks": [{"path": "$A")"),
                 QByteArray(R"({"tracks": []} x)"), QByteArray("$NONE"), QByteArray("$FIFO"),
                 "{\"tracks\": " + QByteArray(9999, '[') + "}"})
            QTest::addRow("refused: %s", bad.left(30).constData())
                << bad << QStringList{"Kept - 1 (0:01)"};
        // Mutated caches, at times cut short: refused exactly when they hold no JSON object.
        const QList<QByteArray> fragments{"{", "]", ",", "\"", "\\", "null", "1e999", "\"\\ud800\"",
            QByteArray(3000, '['), QByteArray(2, '\0'), "\xff\xc3", "\xc0\xaf", "\xed\xa0\x80",
            "\xf4\x90\x80\x80", "\\u00e9", "-0", "01", "7.5", "\"mtime\": 1, ", "\t", "true"};
        const QList<QByteArray> goods{
            R"({"tracks": [{"path": "$A", "title": "1"}, {"path": "$A"}]})", layout};
        QRandomGenerator random(0xcac4e);
        for (int i = 0; i < 300; ++i) {
            const QByteArray &good = goods[i % 2];
            QByteArray bytes = good.left(int(random.bounded(good.size() * 2)));
            bytes.insert(int(random.bounded(bytes.size() + 1)),
                fragments[random.bounded(int(fragments.size()))]);
            QTest::addRow("mutated %d", i) << bytes << QStringList{"?"};
        }
    }
    void cacheLoad()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, list);
        const QString cache = path("cache.json");
        const QByteArray a = copyFixture("tone.mp3", path("a.mp3")).toUtf8();
        if (content == "$FIFO")
            QCOMPARE(mkfifo(QFile::encodeName(cache).constData(), 0600), 0);
        else if (content != "$NONE")
            writeFile(cache, content.replace("$A", a).replace("$GONE", path("gone.mp3").toUtf8()));
        Playlist playlist;
        fill(playlist, {{"Kept", "1", "", "0:01", "kept.mp3"}});
        const QStringList kept = playlist.getList();
        const bool mutated = list == QStringList{"?"};
        const bool loads = mutated ? QJsonDocument::fromJson(content).isObject() : list != kept;
        QCOMPARE(playlist.loadFromCache(cache), loads);
        if (!mutated || !loads)
            QCOMPARE(playlist.getList(), loads ? list : kept);
        if (loads) {
            QVERIFY(playlist.saveToCache(path("again.json")));
            QCOMPARE(entries(path("again.json")), entries(cache));
            // Laid out as Qt lays out JSON, members in key order, so the file reads as before.
            const QByteArray written = contents(path("again.json"));
            QCOMPARE(written, QJsonDocument::fromJson(written).toJson());
        }
    }

    // "Update playlist" over the cache this library last wrote, its list still shown, shows that
    // list again; a cache anybody changed since is read again, even at the same size.
    void updateReadsAChangedCache()
    {
        const QString folder = path("music");
        copyFixture("tone.mp3", folder + "/a.mp3");
        copyFixture("tone.ogg", folder + "/b.ogg");
        Library library;
        QVERIFY(openUnwatched(library, folder)); // no cache yet: a scan writes one
        const QString cache = Library::cachePath(folder);
        const QStringList scanned = library.tracks()->getList();
        QByteArray text = contents(cache);
        QCOMPARE(scanned.filter("(0:01)").size(), 2);
        library.loadCacheAndCheck();
        QVERIFY(QTest::qWaitFor([&library] { return !library.busy(); }, 60000));
        QCOMPARE(library.tracks()->getList(), scanned);
        QCOMPARE(contents(cache), text);
        text.replace(text.indexOf("\"0:01\""), 6, "\"0:02\"");
        writeFile(cache, text);
        library.loadCacheAndCheck();
        QVERIFY(QTest::qWaitFor([&library] { return !library.busy(); }, 60000));
        const QStringList read = library.tracks()->getList();
        QVERIFY2(read.filter("(0:02)").size() == 1, qPrintable(read.join(", ")));
    }

    // The window paints its larger areas on Qt's global pool and waits for them there, so the
    // library must never need that pool: a scan, a save, a cache read, an update and a file seen
    // by the watcher all end while every thread of it is held.
    void needsNoneOfQtsPool()
    {
        const QString folder = path("music");
        copyFixture("tone.mp3", folder + "/a.mp3");
        copyFixture("tone.ogg", folder + "/b.ogg");
        QThreadPool *pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        QSemaphore holding;
        QSemaphore letGo;
        for (int i = 0; i < threads; ++i) {
            pool->start([&] {
                holding.release();
                letGo.acquire();
            });
        }
        const auto release = qScopeGuard([&] {
            letGo.release(threads);
            pool->waitForDone();
        });
        QVERIFY(holding.tryAcquire(threads, 10000));
        Library library;
        library.restoreFolder(folder);
        const auto ended = [&](const char *step) {
            const bool settled = QTest::qWaitFor([&] { return !library.busy(); }, 20000);
            return QString("%1: %2, %3 tracks")
                .arg(step, settled ? "ended" : "still busy")
                .arg(library.tracks()->count());
        };
        library.loadCacheAndCheck(); // no cache: a scan and a save
        QCOMPARE(ended("scan"), "scan: ended, 2 tracks");
        QVERIFY(QFile::exists(Library::cachePath(folder)));
        library.loadCacheAndCheck(); // the cache, then an update
        QCOMPARE(ended("cache read"), "cache read: ended, 2 tracks");
        QCOMPARE(library.tracks()->search("tone").size(), 2);
        copyFixture("tone.flac", folder + "/c.flac");
        QVERIFY2(QTest::qWaitFor([&] { return library.tracks()->count() == 3; }, 20000),
            qPrintable(QString("%1 tracks after a file landed").arg(library.tracks()->count())));
        QCOMPARE(ended("landing"), "landing: ended, 3 tracks");
    }

    // A library read again over the one in place takes that one's copy of each text that is the
    // same, and never one that is not: from the cache and by a scan.
    void readAgainSharesWhatIsTheSame()
    {
        Playlist playlist;
        fill(playlist,
            {{"Artist", "Old", "Album", "0:01", "a.mp3"}, {"B", "Same", "", "0:01", "b.mp3"}});
        const std::shared_ptr<const TrackTable> first = playlist.table();
        writeCache(path("again.json"),
            {{path("a.mp3"), "Artist", "New", "Album", "0:01"},
                {path("b.mp3"), "B", "Same", "", "0:01"}});
        QVERIFY(playlist.loadFromCache(path("again.json")));
        const std::shared_ptr<const TrackTable> cached = playlist.table();
        QCOMPARE(playlist.getList(), QStringList({"Artist - New (0:01)", "B - Same (0:01)"}));
        QVERIFY(cached->at(0).path.isSharedWith(first->at(0).path));
        QVERIFY(cached->at(0).album.isSharedWith(first->at(0).album));
        QVERIFY(cached->at(1).title.isSharedWith(first->at(1).title));
        bool done = false;
        playlist.loadFromFolder(dir->path(), {}, [&done] { done = true; });
        QVERIFY(QTest::qWaitFor([&done] { return done; }, 60000));
        QCOMPARE(playlist.count(), 2);
        for (int row = 0; row < 2; ++row) {
            const TrackTable::Record &scanned = playlist.table()->at(row);
            const int before = cached->rowOf(scanned.path);
            QVERIFY2(before >= 0, qPrintable(scanned.path));
            QVERIFY(scanned.path.isSharedWith(cached->at(before).path));
            QCOMPARE(scanned.title, QString()); // the files have no tags
            QCOMPARE(scanned.artist, QString());
        }
    }
};

QTEST_MAIN(TestLibrary)
#include "test_library.moc"
