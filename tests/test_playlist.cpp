// The library model: display texts, search keys, look-ups and durations.

#include "Playlist.h"
#include "TestSupport.h"

#include <QTemporaryDir>
#include <QtTest>

class TestPlaylist : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    /** Fills @p playlist with exactly these records (artist, title, album, duration, file name). */
    void fill(Playlist &playlist, const QList<QStringList> &records)
    {
        QList<TestSupport::CacheEntry> entries;
        for (const QStringList &r : records)
            entries.append({TestSupport::touch(dir.filePath(r[4])), r[0], r[1], r[2], r[3]});
        TestSupport::writeCacheFile(dir.filePath("cache.json"), entries);
        QVERIFY(playlist.loadFromCache(dir.filePath("cache.json")));
        QCOMPARE(playlist.getTracks().size(), records.size());
    }

private slots:
    void initTestCase()
    {
        TestSupport::isolateSettings();
        QVERIFY(dir.isValid());
    }

    void displayTexts_data()
    {
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("listText");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<QString>("searchKey");

        QTest::newRow("all tags") << "Nina" << "Blue" << "Sky" << "3:07" << "blue.mp3"
                                  << "Nina - Blue (3:07)" << "Nina - Blue (3:07)"
                                  << "nina blue sky blue.mp3";
        QTest::newRow("no album") << "Nina" << "Blue" << "" << "3:07" << "blue.mp3"
                                  << "Nina - Blue (3:07)" << "Nina - Blue (3:07)"
                                  << "nina blue  blue.mp3";
        QTest::newRow("neither artist nor title")
            << "" << "" << "Sky" << "0:45" << "01 Intro.flac" << "01 Intro.flac"
            << "01 Intro.flac" << "  sky 01 intro.flac";
        QTest::newRow("no tags at all") << "" << "" << "" << "0:00" << "song.mp3" << "song.mp3"
                                        << "song.mp3" << "   song.mp3";
        QTest::newRow("artist only") << "Nina" << "" << "" << "1:00" << "a.ogg"
                                     << "Nina - Unknown Title (1:00)"
                                     << "Nina - Unknown Title (1:00)" << "nina   a.ogg";
        QTest::newRow("title only") << "" << "Intro" << "" << "0:45" << "b.ogg"
                                    << "Unknown Artist - Intro (0:45)"
                                    << "Unknown Artist - Intro (0:45)" << " intro  b.ogg";
        QTest::newRow("no duration") << "A" << "T" << "" << "" << "c.wav" << "A - T ()"
                                     << "A - T ()" << "a t  c.wav";
        QTest::newRow("long duration") << "A" << "T" << "" << "75:00" << "d.wav"
                                       << "A - T (75:00)" << "A - T (75:00)" << "a t  d.wav";
        // The list fills the placeholders one after another, so a "%1" in the
        // artist is filled by the title and the duration lands on "%2".
        QTest::newRow("percent digit in artist")
            << "%1 Crew" << "Song" << "" << "2:00" << "e.mp3" << "Song Crew - 2:00 (%3)"
            << "%1 Crew - Song (2:00)" << "%1 crew song  e.mp3";
        QTest::newRow("percent digit in title")
            << "A" << "100%2 Pure" << "" << "1:00" << "f.mp3" << "A - 1001:00 Pure (%3)"
            << "A - 100%2 Pure (1:00)" << "a 100%2 pure  f.mp3";
        QTest::newRow("percent without digit") << "50% Off" << "Sale" << "" << "1:00" << "g.mp3"
                                               << "50% Off - Sale (1:00)"
                                               << "50% Off - Sale (1:00)" << "50% off sale  g.mp3";
        // Case folding, not lower-casing: a final sigma, the micro sign and the
        // long s fold to the ordinary letters; a file name is folded too.
        QTest::newRow("case folding") << QString::fromUtf8("ΣΊΣΥΦΟΣ ς") << QString::fromUtf8("µ ſ")
                                      << "ÄLBUM" << "4:20" << "Track.MP3"
                                      << QString::fromUtf8("ΣΊΣΥΦΟΣ ς - µ ſ (4:20)")
                                      << QString::fromUtf8("ΣΊΣΥΦΟΣ ς - µ ſ (4:20)")
                                      << QString::fromUtf8("σίσυφοσ σ μ s älbum track.mp3");
        QTest::newRow("non-ASCII file name")
            << "" << "" << "" << "0:01" << QString::fromUtf8("Ünïcødé ♪.flac")
            << QString::fromUtf8("Ünïcødé ♪.flac") << QString::fromUtf8("Ünïcødé ♪.flac")
            << QString::fromUtf8("   ünïcødé ♪.flac");
    }

    void displayTexts()
    {
        QFETCH(QString, artist);
        QFETCH(QString, title);
        QFETCH(QString, album);
        QFETCH(QString, duration);
        QFETCH(QString, fileName);
        QFETCH(QString, listText);
        QFETCH(QString, displayName);
        QFETCH(QString, searchKey);

        Playlist playlist;
        fill(playlist, {{artist, title, album, duration, fileName}});

        QCOMPARE(playlist.getList(), QStringList{listText});
        const Playlist::TrackInfo track = playlist.getTracks().constFirst();
        QCOMPARE(track.artist, artist);
        QCOMPARE(track.title, title);
        QCOMPARE(track.album, album);
        QCOMPARE(track.duration, duration);
        QCOMPARE(track.fileName, fileName);
        QCOMPARE(track.displayName, displayName);
        QCOMPARE(track.searchKey, searchKey);
    }

    void listKeepsOrder()
    {
        Playlist playlist;
        fill(playlist, {{"C", "3", "", "0:03", "z.mp3"},
                        {"A", "1", "", "0:01", "y.mp3"},
                        {"", "", "", "0:02", "x.mp3"}});
        QCOMPARE(playlist.getList(), (QStringList{"C - 3 (0:03)", "A - 1 (0:01)", "x.mp3"}));
        QCOMPARE(playlist.knownFilePaths(),
                 (QStringList{dir.filePath("z.mp3"), dir.filePath("y.mp3"), dir.filePath("x.mp3")}));
    }

    void emptyLibrary()
    {
        Playlist playlist;
        QVERIFY(playlist.getList().isEmpty());
        QVERIFY(playlist.knownFilePaths().isEmpty());
        QVERIFY(playlist.getTracks().isEmpty());
        QVERIFY(playlist.at(0).isEmpty());
        QVERIFY(playlist.at(-1).isEmpty());
        QVERIFY(!playlist.at(0).isValid());
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(dir.filePath("any.mp3"))), -1);
        QCOMPARE(playlist.indexOf(QUrl()), -1);
        playlist.rebuildSearchIndex(); // nothing to do, nothing to break
        QVERIFY(playlist.getTracks().isEmpty());
    }

    void atBounds()
    {
        Playlist playlist;
        fill(playlist, {{"A", "1", "", "0:01", "one.mp3"},
                        {"B", "2", "", "0:02", "two.mp3"},
                        {"C", "3", "", "0:03", "three.mp3"}});
        QCOMPARE(playlist.at(0), QUrl::fromLocalFile(dir.filePath("one.mp3")));
        QCOMPARE(playlist.at(2), QUrl::fromLocalFile(dir.filePath("three.mp3")));
        QVERIFY(playlist.at(-1).isEmpty());
        QVERIFY(playlist.at(3).isEmpty());
        QVERIFY(playlist.at(std::numeric_limits<int>::max()).isEmpty());
        QVERIFY(playlist.at(std::numeric_limits<int>::min()).isEmpty());
        QVERIFY(playlist.at(0).isLocalFile());
    }

    void indexOfFirstMatch()
    {
        Playlist playlist;
        fill(playlist, {{"A", "1", "", "0:01", "one.mp3"},
                        {"B", "2", "", "0:02", "dup.mp3"},
                        {"C", "3", "", "0:03", "three.mp3"},
                        {"D", "4", "", "0:04", "dup.mp3"}});
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(dir.filePath("one.mp3"))), 0);
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(dir.filePath("three.mp3"))), 2);
        // Duplicates: the lower index wins.
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(dir.filePath("dup.mp3"))), 1);
        QCOMPARE(playlist.at(3), playlist.at(1));
        // Not in the list, or only equal when ignoring case.
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(dir.filePath("missing.mp3"))), -1);
        QCOMPARE(playlist.indexOf(QUrl::fromLocalFile(dir.filePath("ONE.mp3"))), -1);
        QCOMPARE(playlist.indexOf(QUrl()), -1);
        // Every row maps back to itself except the later duplicate.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(playlist.indexOf(playlist.at(i)), i);
    }

    void formatDuration_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "0:00";
        QTest::newRow("negative") << qint64(-5000) << "0:00";
        QTest::newRow("under a second") << qint64(999) << "0:00";
        QTest::newRow("one second") << qint64(1000) << "0:01";
        QTest::newRow("fraction dropped") << qint64(1999) << "0:01";
        QTest::newRow("59 s") << qint64(59999) << "0:59";
        QTest::newRow("one minute") << qint64(60000) << "1:00";
        QTest::newRow("3:07") << qint64(187000) << "3:07";
        QTest::newRow("59:59") << qint64(3599000) << "59:59";
        QTest::newRow("one hour") << qint64(3600000) << "60:00";
        QTest::newRow("62:05") << qint64(3725000) << "62:05";
        QTest::newRow("75 minutes") << qint64(4500000) << "75:00";
        QTest::newRow("ten hours") << qint64(36000000) << "600:00";
        QTest::newRow("beyond 32 bits") << qint64(3000000000LL) << "50000:00";
    }

    void formatDuration()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(Playlist::formatDuration(ms), text);
    }
};

QTEST_GUILESS_MAIN(TestPlaylist)
#include "test_playlist.moc"
