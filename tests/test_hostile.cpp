// Hostile folders: a generated corpus of broken, misnamed and special files
// run through the full scan, the update scan, the cache and the window. The
// scan must finish, give a record for every audio file it can name, and the
// cache must give those records back.

#include "PlayerWindow.h"
#include "Playlist.h"
#include "TestSupport.h"

#include <QFile>
#include <QFutureWatcherBase>
#include <QHash>
#include <QListWidget>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

/** A committed fixture with the tags TagLib reads from it (see fixtures/README.md). */
struct Fixture {
    const char *name;
    const char *extension;
    QString artist;
    QString title;
};

const QList<Fixture> &fixtures()
{
    static const QList<Fixture> list = {
        {"tone.mp3", "mp3", "Mp3 Album Artist", "Mp3 Tone"},
        {"tone.ogg", "ogg", "Ogg Album Artist", "Ogg Tone"},
        {"tone.flac", "flac", QString::fromUtf8("Flåc Ärtist"), QString::fromUtf8("Flac Tøne ♪")},
        {"tone.wav", "wav", "Wav Album Artist", "Wav Tone"},
        {"untagged.mp3", "mp3", "", ""},
        {"title-only.ogg", "ogg", "", "Only A Title"},
    };
    return list;
}

QByteArray fixtureBytes(const char *name)
{
    const QByteArray bytes = readAll(fixture(QString::fromLatin1(name)));
    if (bytes.isEmpty())
        qFatal("cannot read fixture %s", name);
    return bytes;
}

bool hasAudioExtension(const QByteArray &name)
{
    const QByteArray lower = name.toLower();
    return lower.endsWith(".mp3") || lower.endsWith(".ogg") || lower.endsWith(".wav")
        || lower.endsWith(".flac");
}

/**
 * Writes @p bytes to the raw byte path @p path. Raw paths because some names
 * are not valid UTF-8 and so have no QString form that maps back to them.
 */
void writeRaw(const QByteArray &path, const QByteArray &bytes, mode_t mode = 0644)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          mode);
    if (fd < 0)
        qFatal("cannot create %s: %s", path.toHex().constData(), strerror(errno));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0)
            qFatal("cannot write %s", path.toHex().constData());
        done += n;
    }
    ::fchmod(fd, mode);
    ::close(fd);
}

void mkdirRaw(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0755) != 0 && errno != EEXIST)
        qFatal("cannot create folder %s: %s", path.toHex().constData(), strerror(errno));
}

void symlinkRaw(const QByteArray &target, const QByteArray &link)
{
    if (::symlink(target.constData(), link.constData()) != 0)
        qFatal("cannot link %s: %s", link.constData(), strerror(errno));
}

/** What a plain POSIX walk finds, to check the scan against something that is not Qt. */
struct Entry {
    QByteArray path;
    bool regular = false;   // a regular file, not a link to one
    bool audioName = false; // not hidden, audio extension in any case
};

void walk(const QByteArray &folder, QList<Entry> &out)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat st;
        if (::lstat(path.constData(), &st) != 0)
            continue;
        // Hidden files and folders are left out by the scan; links to
        // folders are not followed.
        const bool hidden = name.startsWith('.');
        if (S_ISDIR(st.st_mode)) {
            if (!hidden)
                walk(path, out);
            continue;
        }
        out.append({path, S_ISREG(st.st_mode) && !hidden, !hidden && hasAudioExtension(name)});
    }
    ::closedir(dir);
}

QStringList pathsOf(const QList<Playlist::TrackInfo> &tracks)
{
    QStringList paths;
    for (const Playlist::TrackInfo &track : tracks)
        paths.append(track.url.toLocalFile());
    return paths;
}

const QRegularExpression durationForm(QStringLiteral("^\\d+:\\d\\d$"));

} // namespace

class TestHostile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString corpus;       // the hostile music folder
    QByteArray rawCorpus; // the same, as bytes
    QMap<QString, int> tried; // category -> number of bad inputs
    // Intact fixtures under odd names, by path: the tags the scan must read.
    QHash<QString, const Fixture *> intact;
    // Files whose names are not valid UTF-8, as raw paths.
    QList<QByteArray> nonUtf8;

    void add(const char *category, int n = 1) { tried[QString::fromLatin1(category)] += n; }

    QByteArray raw(const QByteArray &relative) const { return rawCorpus + '/' + relative; }

    void buildCorpus();

    /** The scan's result for the corpus, checked against the POSIX walk. */
    void checkAgainstWalk(const QList<Playlist::TrackInfo> &tracks);

private slots:
    void initTestCase();
    void init() { TestSupport::clearPlayerSettings(); }

    void fullScanGivesEveryAudioFile();
    void cacheRoundTripLosesNothing();
    void updateAddsOnlyWhatIsMissing();
    void namesThatAreNotUtf8();
    void fileDeletedWhileScanning_data();
    void fileDeletedWhileScanning();
    void windowFillsTheList();

    void cleanupTestCase();
};

void TestHostile::initTestCase()
{
    TestSupport::isolateSettings();
    QVERIFY(dir.isValid());
    corpus = dir.filePath(QStringLiteral("corpus"));
    rawCorpus = QFile::encodeName(corpus);
    buildCorpus();

    int total = 0;
    for (auto it = tried.cbegin(); it != tried.cend(); ++it) {
        qInfo("hostile inputs: %-28s %4d", qPrintable(it.key()), it.value());
        total += it.value();
    }
    qInfo("hostile inputs: %-28s %4d", "total", total);
    QVERIFY2(total >= 200, qPrintable(QString::number(total)));
}

void TestHostile::buildCorpus()
{
    // One seed for the whole corpus: every run builds the same files.
    QRandomGenerator random(0x5eed0007);
    const QList<QByteArray> extensions = {"mp3", "ogg", "flac", "wav", "MP3", "Ogg", "FLAC", "Wav"};
    const auto noise = [&random](int size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        return bytes;
    };

    mkdirRaw(rawCorpus);
    for (const char *sub : {"zero", "noise", "magic", "cut", "flipped", "wrong", "names",
                            "long", "links", "special", "other", "unreadable"})
        mkdirRaw(raw(sub));

    // Empty files with every extension spelling.
    for (const QByteArray &ext : extensions) {
        writeRaw(raw("zero/empty." + ext), {});
        add("zero-byte");
    }

    // Random bytes, from one byte to 40 KB.
    for (int i = 0; i < 40; ++i) {
        const int size = i < 8 ? 1 << i : int(random.bounded(1, 40000));
        writeRaw(raw("noise/noise" + QByteArray::number(i) + '.' + extensions[i % extensions.size()]),
                 noise(size));
        add("random bytes");
    }

    // A real format's magic followed by noise: the parsers get past the first check.
    const QList<QPair<QByteArray, QByteArray>> magics = {
        {QByteArray("ID3\x03\x00\x00\x00\x00\x7f\x7f", 10), "mp3"},
        {QByteArray("\xff\xfb\x90\x64", 4), "mp3"},
        {QByteArray("OggS\x00\x02", 6), "ogg"},
        {"fLaC", "flac"},
        {"RIFF\xff\xff\xff\x7fWAVEfmt ", "wav"},
    };
    for (int m = 0; m < magics.size(); ++m) {
        for (int i = 0; i < 4; ++i) {
            writeRaw(raw("magic/magic" + QByteArray::number(m) + '-' + QByteArray::number(i) + '.'
                         + magics[m].second),
                     magics[m].first + noise(int(random.bounded(0, 9000))));
            add("magic then random bytes");
        }
    }

    for (const Fixture &fixture : fixtures()) {
        const QByteArray whole = fixtureBytes(fixture.name);
        const QByteArray stem = QByteArray(fixture.name).replace('.', '-');

        // Cut off anywhere: inside the magic, the header, the tags, the audio.
        const QList<qsizetype> cuts = {1, 3, 4, 10, 12, 44, 64, 128, 512, whole.size() / 3,
                                       whole.size() / 2, whole.size() - 1};
        for (const qsizetype cut : cuts) {
            writeRaw(raw("cut/" + stem + "-cut" + QByteArray::number(cut) + '.' + fixture.extension),
                     whole.left(cut));
            add("truncated copies");
        }

        // Bit flips: half of the copies only in the first 512 bytes, where
        // the headers, tag sizes and block lengths are.
        for (int i = 0; i < 10; ++i) {
            QByteArray bytes = whole;
            const int flips = 1 << (i % 7);
            for (int f = 0; f < flips; ++f) {
                const qsizetype limit = i % 2 ? bytes.size() : qMin<qsizetype>(512, bytes.size());
                const qsizetype at = qsizetype(random.bounded(quint64(limit)));
                bytes[at] = char(bytes[at] ^ (1 << random.bounded(8)));
            }
            writeRaw(raw("flipped/" + stem + "-flip" + QByteArray::number(i) + '.'
                         + fixture.extension),
                     bytes);
            add("bit-flipped copies");
        }

        // Real audio under another format's extension.
        for (const char *ext : {"mp3", "ogg", "flac", "wav"}) {
            if (qstrcmp(ext, fixture.extension) == 0)
                continue;
            writeRaw(raw("wrong/" + stem + "-as." + ext), whole);
            add("wrong extension");
        }
    }

    // Intact fixtures under names that trip up quoting, URLs, JSON and display.
    const QList<QByteArray> oddNames = {
        "with space.mp3",
        "  leading spaces.ogg",
        "trailing space .flac",
        "single'quote.wav",
        "double\"quote.mp3",
        "back`tick.ogg",
        "new\nline.flac",
        "tab\there.wav",
        "carriage\rreturn.mp3",
        "back\\slash.ogg",
        "-dash first.flac",
        "percent%20encoded%2F.wav",
        "%1 %2 placeholders.mp3",
        "hash#and?query.ogg",
        "glob*[x]{y}.flac",
        "semi;colon&amp|pipe.wav",
        "dollar$HOME$(id).mp3",
        "file:not-a-url.ogg",
        "unicode \xe2\x99\xaa M\xc3\xbcsik \xe6\x97\xa5\xe6\x9c\xac.flac",
        "emoji \xf0\x9f\x8e\xb5.wav",
        "rtl \xe2\x80\xaegpj.mp3",
        "combining e\xcc\x81.ogg",
        "precomposed \xc3\xa9.ogg",
        "control \x01\x1f\x7f chars.flac",
        "UPPER CASE.MP3",
        "Mixed Case.FlAc",
        "double.ext.mp3.ogg",
        "sub dir 'q' \"dq\"\n/inner track.wav",
    };
    for (int i = 0; i < oddNames.size(); ++i) {
        const QByteArray &name = oddNames[i];
        // The content is the fixture whose format the extension names.
        const QByteArray ext = name.mid(name.lastIndexOf('.') + 1).toLower();
        const Fixture *fixture = nullptr;
        for (const Fixture &f : fixtures()) {
            if (ext == f.extension && (fixture == nullptr || i % 2 == 1))
                fixture = &f;
        }
        QVERIFY(fixture);
        if (name.contains('/'))
            mkdirRaw(raw("names/" + name.left(name.indexOf('/'))));
        writeRaw(raw("names/" + name), fixtureBytes(fixture->name));
        intact.insert(QFile::decodeName(raw("names/" + name)), fixture);
        add("odd names");
    }

    // Names that are not UTF-8: Latin-1, lone bytes, overlong forms, an
    // encoded surrogate, a cut sequence; and a folder so named.
    mkdirRaw(raw("names/bad\xff" "folder"));
    const QList<QByteArray> badNames = {
        "names/latin1 caf\xe9.mp3",
        "names/\xff\xfe.ogg",
        "names/overlong \xc0\xaf.flac",
        "names/surrogate \xed\xa0\x80.wav",
        "names/cut \xe2\x82.mp3",
        "names/mixed \xe9 and \xc3\xbc.ogg",
        "names/bad\xff" "folder/inside.mp3",
        "names/bad\xff" "folder/inside.flac",
    };
    for (const QByteArray &name : badNames) {
        writeRaw(raw(name), fixtureBytes(name.endsWith("mp3") ? "tone.mp3"
                                             : name.endsWith("ogg") ? "tone.ogg"
                                             : name.endsWith("flac") ? "tone.flac"
                                                                     : "tone.wav"));
        nonUtf8.append(raw(name));
        add("non-UTF-8 names");
    }

    // The longest names a file system allows (255 bytes), in ASCII and in
    // two-byte characters, and a folder of such names holding one more.
    const QByteArray longAscii = QByteArray(251, 'x') + ".mp3";
    QByteArray longUtf8 = "a";
    while (longUtf8.size() < 251)
        longUtf8 += "\xc3\xbc"; // ü
    longUtf8 += ".ogg";
    QCOMPARE(longAscii.size(), 255);
    QCOMPARE(longUtf8.size(), 255);
    writeRaw(raw("long/" + longAscii), fixtureBytes("tone.mp3"));
    intact.insert(QFile::decodeName(raw("long/" + longAscii)), &fixtures()[0]);
    writeRaw(raw("long/" + longUtf8), fixtureBytes("tone.ogg"));
    intact.insert(QFile::decodeName(raw("long/" + longUtf8)), &fixtures()[1]);
    const QByteArray longFolder = QByteArray(255, 'd');
    mkdirRaw(raw("long/" + longFolder));
    const QByteArray longFlac = QByteArray(250, 'f') + ".FLAC";
    writeRaw(raw("long/" + longFolder + '/' + longFlac), fixtureBytes("tone.flac"));
    intact.insert(QFile::decodeName(raw("long/" + longFolder + '/' + longFlac)), &fixtures()[2]);
    add("255-byte names", 3);
    // Nested deep enough for a path of some 3,000 bytes.
    QByteArray deep = "long";
    for (int level = 0; level < 12; ++level) {
        deep += '/' + QByteArray(240, char('a' + level));
        mkdirRaw(raw(deep));
    }
    writeRaw(raw(deep + "/deep.wav"), fixtureBytes("tone.wav"));
    intact.insert(QFile::decodeName(raw(deep + "/deep.wav")), &fixtures()[3]);
    add("very deep path");

    // Links: loops through folders, loops between files, dangling, and
    // links to devices that never end or never answer.
    writeRaw(raw("links/real.mp3"), fixtureBytes("tone.mp3"));
    intact.insert(QFile::decodeName(raw("links/real.mp3")), &fixtures()[0]);
    symlinkRaw("..", raw("links/up-loop"));
    symlinkRaw(".", raw("links/self-loop"));
    symlinkRaw("folder-loop", raw("links/folder-loop"));
    symlinkRaw("ping.mp3", raw("links/pong.mp3"));
    symlinkRaw("pong.mp3", raw("links/ping.mp3"));
    symlinkRaw("self.ogg", raw("links/self.ogg"));
    symlinkRaw("nowhere.flac", raw("links/dangling.flac"));
    symlinkRaw("/dev/zero", raw("links/zero.flac"));
    symlinkRaw("/dev/urandom", raw("links/urandom.mp3"));
    symlinkRaw("/dev/null", raw("links/null.wav"));
    symlinkRaw("real.mp3", raw("links/to-real.ogg"));
    symlinkRaw(rawCorpus, raw("links/to-corpus.mp3"));
    add("symbolic links and loops", 12);

    // A FIFO blocks whoever opens it for reading; a socket cannot be opened at all.
    QCOMPARE(::mkfifo(raw("special/fifo.mp3").constData(), 0600), 0);
    QCOMPARE(::mkfifo(raw("special/fifo.OGG").constData(), 0600), 0);
    symlinkRaw("fifo.mp3", raw("special/to-fifo.wav"));
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = raw("special/socket.flac");
        if (fd >= 0 && socketPath.size() < qsizetype(sizeof address.sun_path)) {
            memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
            QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
            add("FIFOs and sockets");
        }
        if (fd >= 0)
            ::close(fd);
    }
    add("FIFOs and sockets", 3);

    // Not audio by name, whatever the content; hidden files and folders.
    writeRaw(raw("other/tone.mp3.bak"), fixtureBytes("tone.mp3"));
    writeRaw(raw("other/tone.m4a"), fixtureBytes("tone.mp3"));
    writeRaw(raw("other/mp3"), fixtureBytes("tone.mp3"));
    writeRaw(raw("other/trailing.wav "), fixtureBytes("tone.wav"));
    writeRaw(raw("other/.hidden.mp3"), fixtureBytes("tone.mp3"));
    mkdirRaw(raw("other/.hidden-folder"));
    writeRaw(raw("other/.hidden-folder/tone.ogg"), fixtureBytes("tone.ogg"));
    mkdirRaw(raw("other/album.mp3"));
    writeRaw(raw("other/album.mp3/track.flac"), fixtureBytes("tone.flac"));
    intact.insert(QFile::decodeName(raw("other/album.mp3/track.flac")), &fixtures()[2]);
    add("not audio by name, hidden", 8);

    // No permissions at all (root reads them anyway; anyone else gets empty tags).
    writeRaw(raw("unreadable/locked.mp3"), fixtureBytes("tone.mp3"), 0);
    writeRaw(raw("unreadable/locked.ogg"), fixtureBytes("tone.ogg"), 0);
    add("unreadable files", 2);
}

void TestHostile::checkAgainstWalk(const QList<Playlist::TrackInfo> &tracks)
{
    QList<Entry> entries;
    walk(rawCorpus, entries);

    QSet<QString> required; // regular audio files the scan must list
    QSet<QString> allowed;  // anything audio-named it may list (links to files, FIFOs)
    for (const Entry &entry : std::as_const(entries)) {
        if (!entry.audioName || !entry.path.isValidUtf8())
            continue;
        const QString path = QFile::decodeName(entry.path);
        allowed.insert(path);
        if (entry.regular)
            required.insert(path);
    }
    QVERIFY(required.size() > 200);

    const QStringList paths = pathsOf(tracks);
    const QSet<QString> listed(paths.cbegin(), paths.cend());
    QCOMPARE(listed.size(), paths.size()); // no file twice
    for (const QString &path : required)
        QVERIFY2(listed.contains(path), qPrintable("no record for " + path.toUtf8().toHex()));
    for (const QString &path : paths)
        QVERIFY2(allowed.contains(path), qPrintable("unexpected record " + path.toUtf8().toHex()));

    for (const Playlist::TrackInfo &track : tracks) {
        const QString path = track.url.toLocalFile();
        QVERIFY2(durationForm.match(track.duration).hasMatch(),
                 qPrintable(path + ": " + track.duration));
        QVERIFY(!track.displayName.isEmpty());
        QCOMPARE(track.fileName, path.mid(path.lastIndexOf('/') + 1));
        if (const Fixture *fixture = intact.value(path)) {
            QCOMPARE(track.title, fixture->title);
            QCOMPARE(track.artist, fixture->artist);
            QCOMPARE(track.duration, QString("0:01"));
        }
        if (path.startsWith(corpus + QStringLiteral("/zero/")) || path.startsWith(corpus + QStringLiteral("/noise/"))) {
            QVERIFY2(track.artist.isEmpty() && track.title.isEmpty() && track.album.isEmpty(), qPrintable(path));
            QCOMPARE(track.displayName, track.fileName);
            if (path.contains(QStringLiteral("/zero/")))
                QCOMPARE(track.duration, QString("0:00"));
        }
        if (!QFileInfo(path).isFile()) {
            // Links to FIFOs and devices are never opened.
            QVERIFY2(track.title.isEmpty() && track.duration == "0:00", qPrintable(path));
        }
    }
    for (const QString &path : paths) {
        if (!required.contains(path))
            qInfo("listed besides the regular files: %s", qPrintable(path.mid(corpus.size() + 1)));
    }
    qInfo("corpus: %lld records, %lld regular audio files, %lld audio-named entries",
          qlonglong(paths.size()), qlonglong(required.size()), qlonglong(allowed.size()));
}

void TestHostile::fullScanGivesEveryAudioFile()
{
    Playlist playlist;
    QCOMPARE(scanFull(playlist, corpus)->finished, 1);
    const QList<Playlist::TrackInfo> tracks = playlist.getTracks();
    checkAgainstWalk(tracks);
    if (QTest::currentTestFailed())
        return;
    // The order is the iterator's; a second scan gives the same list.
    QCOMPARE(pathsOf(tracks), iteratorOrder(corpus));
    Playlist again;
    QCOMPARE(scanFull(again, corpus)->finished, 1);
    QCOMPARE(storedFields(again.getTracks()), storedFields(tracks));
    QCOMPARE(again.getList(), playlist.getList());
}

void TestHostile::cacheRoundTripLosesNothing()
{
    Playlist scanned;
    QCOMPARE(scanFull(scanned, corpus)->finished, 1);
    const QString cache = dir.filePath(QStringLiteral("roundtrip.json"));
    QVERIFY(scanned.saveToCache(cache));

    Playlist loaded;
    QVERIFY(loaded.loadFromCache(cache));
    // Every record's file still exists, so every one must come back, in order.
    QList<Playlist::TrackInfo> existing;
    for (const Playlist::TrackInfo &track : scanned.getTracks()) {
        if (QFileInfo::exists(track.url.toLocalFile()))
            existing.append(track);
    }
    QCOMPARE(existing.size(), scanned.getTracks().size());
    QCOMPARE(storedFields(loaded.getTracks()), storedFields(existing));
    QCOMPARE(loaded.getList(), scanned.getList());
    for (int i = 0; i < existing.size(); ++i) {
        QCOMPARE(loaded.getTracks()[i].url, existing[i].url);
        QCOMPARE(loaded.getTracks()[i].displayName, existing[i].displayName);
        QCOMPARE(loaded.getTracks()[i].searchKey, existing[i].searchKey);
    }

    // And a second generation is byte for byte the first.
    const QString again = dir.filePath(QStringLiteral("roundtrip2.json"));
    QVERIFY(loaded.saveToCache(again));
    QFile a(cache), b(again);
    QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    QCOMPARE(b.readAll(), a.readAll());
}

void TestHostile::updateAddsOnlyWhatIsMissing()
{
    Playlist scanned;
    QCOMPARE(scanFull(scanned, corpus)->finished, 1);
    const QList<Playlist::TrackInfo> all = scanned.getTracks();
    const QStringList order = pathsOf(all);

    // Everything known: nothing is added.
    QCOMPARE(scanUpdate(scanned, corpus, order)->finished, 1);
    QCOMPARE(pathsOf(scanned.getTracks()), order);

    // Every other record known from a cache: the rest is appended in
    // iterator order, with the same tags as the full scan read.
    QList<CacheEntry> known;
    QStringList expected;
    QStringList appended;
    for (int i = 0; i < all.size(); ++i) {
        if (i % 2 == 0) {
            known.append({order[i], all[i].artist, all[i].title, all[i].album, all[i].duration});
            expected.append(order[i]);
        } else {
            appended.append(order[i]);
        }
    }
    const QString cache = dir.filePath(QStringLiteral("half.json"));
    writeCacheFile(cache, known);
    Playlist half;
    QVERIFY(half.loadFromCache(cache));
    QCOMPARE(half.knownFilePaths(), expected);
    QCOMPARE(scanUpdate(half, corpus, half.knownFilePaths())->finished, 1);
    QCOMPARE(half.knownFilePaths(), expected + appended);
    QHash<QString, QStringList> byPath;
    for (const QStringList &fields : storedFields(all))
        byPath.insert(fields[0], fields);
    for (const QStringList &fields : storedFields(half.getTracks()))
        QCOMPARE(fields, byPath.value(fields[0]));
}

void TestHostile::namesThatAreNotUtf8()
{
    // Such a name has no QString form that leads back to the file. What
    // the scan makes of it is Qt's business; what it must not do is crash,
    // stop early, or produce a record that the cache then loses.
    Playlist playlist;
    QCOMPARE(scanFull(playlist, corpus)->finished, 1);
    const QList<Playlist::TrackInfo> tracks = playlist.getTracks();
    int listed = 0;
    int reachable = 0;
    for (const Playlist::TrackInfo &track : tracks) {
        const QString path = track.url.toLocalFile();
        const QByteArray encoded = QFile::encodeName(path);
        bool fromBadName = path.contains(QChar::ReplacementCharacter);
        for (const QByteArray &bad : nonUtf8)
            fromBadName = fromBadName || bad == encoded;
        if (!fromBadName)
            continue;
        ++listed;
        reachable += QFileInfo::exists(path) ? 1 : 0;
    }
    qInfo("names that are not UTF-8: %lld files, %d listed by the scan, %d of those reachable",
          qlonglong(nonUtf8.size()), listed, reachable);
    // The valid names beside them are all there (checked in full above);
    // here only that the folder holding bad names was read past them.
    QVERIFY(pathsOf(tracks).contains(QFile::decodeName(raw("names/with space.mp3"))));
    QCOMPARE(reachable, listed);

    const QString cache = dir.filePath(QStringLiteral("utf8.json"));
    QVERIFY(playlist.saveToCache(cache));
    Playlist loaded;
    QVERIFY(loaded.loadFromCache(cache));
    QCOMPARE(loaded.getTracks().size(), tracks.size());
}

void TestHostile::fileDeletedWhileScanning_data()
{
    QTest::addColumn<bool>("update");
    QTest::newRow("full scan") << false;
    QTest::newRow("update scan") << true;
}

void TestHostile::fileDeletedWhileScanning()
{
    QFETCH(bool, update);
    QTemporaryDir live;
    QVERIFY(live.isValid());
    // Eight folders of 40 tracks: the later folders are opened by the scan
    // only after the deletions below, the first ones before.
    QStringList created;
    for (int folder = 0; folder < 8; ++folder) {
        for (int i = 0; i < 40; ++i) {
            const Fixture &fixture = fixtures()[(folder + i) % 4];
            const QString path = live.filePath(QStringLiteral("d%1/t%2.%3")
                                                   .arg(folder)
                                                   .arg(i)
                                                   .arg(QLatin1String(fixture.extension)));
            QVERIFY(TestSupport::copyFixture(QString::fromLatin1(fixture.name), path));
            created.append(path);
        }
    }

    Playlist playlist;
    auto done = std::make_shared<int>(0);
    if (update)
        playlist.updateFromFolder(live.path(), {}, [done] { ++*done; });
    else
        playlist.loadFromFolder(live.path(), [](int) {}, [done] { ++*done; });
    // While the worker reads: every third file, last first, and two whole folders.
    QStringList deleted;
    for (int i = created.size() - 1; i >= 0; --i) {
        if (i % 3 == 0 && QFile::remove(created[i]))
            deleted.append(created[i]);
    }
    for (const char *folder : {"d3", "d6"}) {
        const QStringList inside = QDir(live.filePath(folder)).entryList(QDir::Files);
        for (const QString &name : inside)
            deleted.append(live.filePath(QString::fromLatin1(folder) + '/' + name));
        QVERIFY(QDir(live.filePath(folder)).removeRecursively());
    }
    QVERIFY(QTest::qWaitFor([&] { return *done > 0 && noScanPending(playlist); }, scanTimeoutMs));
    QCOMPARE(*done, 1);

    const QList<Playlist::TrackInfo> tracks = playlist.getTracks();
    const QStringList paths = pathsOf(tracks);
    const QSet<QString> listed(paths.cbegin(), paths.cend());
    QCOMPARE(listed.size(), paths.size());
    const QSet<QString> gone(deleted.cbegin(), deleted.cend());
    int survivors = 0;
    int deletedButListed = 0;
    int deletedButRead = 0;
    for (const QString &path : std::as_const(created)) {
        if (gone.contains(path))
            continue;
        ++survivors;
        QVERIFY2(listed.contains(path), qPrintable(path));
    }
    for (const Playlist::TrackInfo &track : tracks) {
        const QString path = track.url.toLocalFile();
        QVERIFY2(created.contains(path), qPrintable(path));
        QVERIFY(durationForm.match(track.duration).hasMatch());
        if (gone.contains(path)) {
            ++deletedButListed;
            // Read before it went, or not at all: never half a record.
            if (!track.title.isEmpty()) {
                ++deletedButRead;
                QCOMPARE(track.duration, QString("0:01"));
            } else {
                QCOMPARE(track.duration, QString("0:00"));
            }
        } else {
            QVERIFY(!track.title.isEmpty());
        }
    }
    qInfo("deleted while scanning: %lld of %lld files; %d of them still listed, %d read in full",
          qlonglong(gone.size()), qlonglong(created.size()), deletedButListed, deletedButRead);

    // The cache keeps exactly the records whose files are still there.
    const QString cache = live.filePath(QStringLiteral("playlist_cache.json"));
    QVERIFY(playlist.saveToCache(cache));
    Playlist loaded;
    QVERIFY(loaded.loadFromCache(cache));
    QStringList expected;
    for (const QString &path : paths) {
        if (!gone.contains(path))
            expected.append(path);
    }
    QCOMPARE(loaded.knownFilePaths(), expected);
    QCOMPARE(expected.size(), survivors);
    // And an update afterwards finds nothing new.
    QCOMPARE(scanUpdate(loaded, live.path(), loaded.knownFilePaths())->finished, 1);
    QCOMPARE(loaded.knownFilePaths(), expected);
}

void TestHostile::windowFillsTheList()
{
    Playlist reference;
    QCOMPARE(scanFull(reference, corpus)->finished, 1);
    const QStringList names = reference.getList();
    QVERIFY(names.size() > 200);

    // The track list, found as any client of the window finds it.
    const auto listOf = [](PlayerWindow &window) -> QListWidget * {
        for (QListWidget *candidate : window.findChildren<QListWidget *>()) {
            if (candidate->metaObject() == &QListWidget::staticMetaObject && candidate->window() == &window)
                return candidate;
        }
        return nullptr;
    };

    PlayerWindow window;
    QListWidget *list = listOf(window);
    QVERIFY(list);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.setMusicFolder(corpus);
    QTRY_COMPARE_WITH_TIMEOUT(list->count(), names.size(), scanTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(list->updatesEnabled(), scanTimeoutMs);
    QCOMPARE(rowTexts(list), names);

    // Started again from the cache the folder scan wrote: the same rows,
    // and still the same after the check for new files.
    const QString cache = corpus + QStringLiteral("/playlist_cache.json");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(cache), scanTimeoutMs);
    window.close();
    PlayerWindow again;
    QListWidget *againList = listOf(again);
    QVERIFY(againList);
    QCOMPARE(againList->count(), names.size());
    QTRY_COMPARE_WITH_TIMEOUT(again.findChildren<QFutureWatcherBase *>().size(), 0, scanTimeoutMs);
    QCoreApplication::processEvents();
    QTRY_COMPARE_WITH_TIMEOUT(againList->count(), names.size(), scanTimeoutMs);
    QCOMPARE(rowTexts(againList), names);

    // A FIFO under the cache's name: the start must not wait for a writer
    // but fall back to a full scan, whose cache write replaces the FIFO.
    QVERIFY(QFile::remove(cache));
    QCOMPARE(::mkfifo(QFile::encodeName(cache).constData(), 0600), 0);
    ::alarm(120); // a constructor blocked in open() is beyond any QTRY
    PlayerWindow third;
    ::alarm(0);
    QListWidget *thirdList = listOf(third);
    QVERIFY(thirdList);
    QTRY_COMPARE_WITH_TIMEOUT(thirdList->count(), names.size(), scanTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(cache).isFile(), scanTimeoutMs);
    QCOMPARE(rowTexts(thirdList), names);
    QVERIFY(QFile::remove(cache));
}

void TestHostile::cleanupTestCase()
{
    // QDir::removeRecursively cannot name these either, so they would keep
    // the temporary folder alive.
    for (const QByteArray &path : std::as_const(nonUtf8))
        ::unlink(path.constData());
    ::rmdir(raw("names/bad\xff" "folder").constData());
}

QTEST_MAIN(TestHostile)
#include "test_hostile.moc"
