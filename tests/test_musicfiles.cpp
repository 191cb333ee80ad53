// The music-file rule: the order of a folder's entries, and the walk that leaves hidden entries
// out and does not enter linked folders.

#include "TestSupport.h"
#include "library/scan/MusicFiles.h"

#include <QtTest>

#include <algorithm>

class TestMusicFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        TestSupport::isolateSettings();
    }

    void compareNames_data()
    {
        // Names that sort in this order, each before the next.
        QTest::addColumn<QStringList>("names");
        QTest::newRow("numbers as numbers") << QStringList{"2 - Two", "10 - Ten", "100"};
        QTest::newRow("numbers inside names") << QStringList{"Disc 2", "Disc 10", "Disc 10b"};
        QTest::newRow("leading zeros count for nothing")
            << QStringList{"Track 001", "Track 2", "Track 010"};
        QTest::newRow("case left aside") << QStringList{"apple", "Banana", "cherry", "Date"};
        QTest::newRow("equal but for case or zeros: the exact text")
            << QStringList{"ABBA", "Abba", "abba", "abba 01", "abba 1"};
        QTest::newRow("a name before its longer forms") << QStringList{"Live", "Live 2", "Lived"};
        QTest::newRow("digits before letters") << QStringList{"9 Lives", "A Day"};
    }
    void compareNames()
    {
        QFETCH(QStringList, names);
        for (qsizetype i = 0; i < names.size(); ++i) {
            for (qsizetype j = 0; j < names.size(); ++j) {
                const int order = MusicFiles::compareNames(names[i], names[j]);
                const int expected = i < j ? -1 : i > j ? 1 : 0;
                QVERIFY2((order > 0) - (order < 0) == expected,
                    qPrintable(QString("\"%1\" against \"%2\": %3, expected %4")
                                   .arg(names[i], names[j])
                                   .arg(order)
                                   .arg(expected)));
            }
        }
    }

    void walk_data()
    {
        // Entries made in a shuffled order ("x/" a folder, "x -> y" a link to y), then what a
        // walk visits, folders ending in "/"; "folders:" walks folders only, "stop N:" ends
        // after the N-th visit.
        TestSupport::columns<QStringList, QString, QStringList>("make", "how", "visits");
        QTest::newRow("name order, files and folders in one order, depth first")
            << QStringList{"10 - Ten.mp3", "2 - Two.mp3", "Disc 10/a.mp3", "Disc 2/b.mp3",
                   "Disc 2/1/c.ogg", "b.flac", "A.ogg", "c/", "notes.txt"}
            << "all"
            << QStringList{"2 - Two.mp3", "10 - Ten.mp3", "A.ogg", "b.flac", "c/", "Disc 2/",
                   "Disc 2/1/", "Disc 2/1/c.ogg", "Disc 2/b.mp3", "Disc 10/", "Disc 10/a.mp3",
                   "notes.txt"};
        QTest::newRow("hidden files and folders left out")
            << QStringList{".hidden.mp3", ".git/x.mp3", "a.mp3", "sub/.cover.mp3", ".sub/"} << "all"
            << QStringList{"a.mp3", "sub/"};
        QTest::newRow("linked folder listed, not entered; link to a file taken")
            << QStringList{"real/a.mp3", "link -> real", "song.mp3 -> real/a.mp3"} << "all"
            << QStringList{"link/", "real/", "real/a.mp3", "song.mp3"};
        QTest::newRow("broken link left out") << QStringList{"a.mp3", "gone.mp3 -> missing.mp3",
            "gone/"} << "all" << QStringList{"a.mp3", "gone/"};
        QTest::newRow("folders only") << QStringList{"a/b10/c.mp3", "x.mp3", "a/b9/", ".h/"}
                                      << "folders" << QStringList{"a/", "a/b9/", "a/b10/"};
        QTest::newRow("ends when the visitor says so") << QStringList{"a/1.mp3", "a/2.mp3", "b.mp3"}
                                                       << "stop 2" << QStringList{"a/", "a/1.mp3"};
    }
    void walk()
    {
        QFETCH(QStringList, make);
        QFETCH(QString, how);
        QTemporaryDir dir;
        QRandomGenerator random(0x3a1c);
        std::shuffle(make.begin(), make.end(), random);
        // Folders of other entries and link targets first, so that every entry can be made.
        for (const QString &entry : std::as_const(make)) {
            const QString name = entry.section(" -> ", 0, 0);
            if (!entry.contains(" -> "))
                QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(name)).path()));
            if (name.endsWith('/'))
                QVERIFY(QDir().mkpath(dir.filePath(name)));
            else if (!entry.contains(" -> "))
                TestSupport::writeFile(dir.filePath(name), {});
        }
        for (const QString &entry : std::as_const(make)) {
            if (entry.contains(" -> "))
                QVERIFY(QFile::link(dir.filePath(entry.section(" -> ", 1)),
                    dir.filePath(entry.section(" -> ", 0, 0))));
        }
        const int stopAfter = how.startsWith("stop") ? how.section(' ', 1).toInt() : -1;
        QStringList visits;
        const bool walked = MusicFiles::walk(dir.path(),
            how == "folders" ? MusicFiles::Entries::Folders : MusicFiles::Entries::All,
            [&](const QFileInfo &entry) {
                visits << QDir(dir.path()).relativeFilePath(entry.filePath())
                        + (entry.isDir() ? "/" : "");
                return visits.size() != stopAfter;
            });
        QTEST(visits, "visits");
        QCOMPARE(walked, stopAfter < 0);
        // The walk of audio files alone visits the walk's audio files, each in the state a look
        // at it by its path gives.
        QStringList files;
        QStringList states;
        const auto shown = [](const FileState &state) {
            return QString("%1 %2 %3 %4")
                .arg(state.isFile)
                .arg(state.mtime)
                .arg(state.size)
                .arg(state.ctime);
        };
        const bool walkedFiles
            = MusicFiles::walkFiles(dir.path(), [&](QString &&path, const FileState &state) {
                  files << QDir(dir.path()).relativeFilePath(path);
                  states << shown(state);
                  return how != "stop 2" || files.size() != 1;
              });
        QStringList expected;
        QStringList expectedStates;
        for (const QString &visit : std::as_const(visits)) {
            if (!visit.endsWith('/') && MusicFiles::isAudioName(visit)) {
                expected << visit;
                expectedStates << shown(FileState::of(QFileInfo(dir.filePath(visit))));
            }
        }
        if (how != "folders") {
            QCOMPARE(files, expected);
            QCOMPARE(states, expectedStates);
            QCOMPARE(walkedFiles, stopAfter < 0);
        }
        // An empty root is no folder, not the working directory.
        QVERIFY(MusicFiles::walk(
            QString(), MusicFiles::Entries::All, [](const QFileInfo &entry) -> bool {
                qFatal("visited %s", qPrintable(entry.filePath()));
            }));
    }

    void skippedNames_data()
    {
        // Raw names made ("x/" a folder), what the walk leaves out for them and says of it, and how
        // many audio files it visits.
        TestSupport::columns<QByteArrayList, int, int, QString, int>(
            "make", "files", "folders", "text", "visited");
        QTest::newRow("audio files by their suffix in any case, nothing else")
            << QByteArrayList{"a\xff.mp3", "b\xfe.FLAC", "sub/c\xe9t\xe9.opus", "d\xff.txt",
                   ".e\xff.mp3", "ok.mp3"}
            << 3 << 0 << "3 files skipped: their names are not valid UTF-8" << 1;
        QTest::newRow("a folder counted, not walked")
            << QByteArrayList{"Caf\xe9/x.mp3", "Caf\xe9/y\xff.mp3", "ok/z.ape"} << 0 << 1
            << "1 folder skipped: its name is not valid UTF-8" << 1;
        QTest::newRow("both") << QByteArrayList{"a\xff.m4a", "d\xfe/", "e\xfe/"} << 1 << 2
                              << "1 file and 2 folders skipped: their names are not valid UTF-8"
                              << 0;
        QTest::newRow("overlong and surrogate forms are not UTF-8 either")
            << QByteArrayList{"\xc0\xaf.wv", "\xed\xa0\x80.aif", "\xf4\x90\x80\x80.wma"} << 3 << 0
            << "3 files skipped: their names are not valid UTF-8" << 0;
        QTest::newRow("UTF-8 beyond ASCII is taken")
            << QByteArrayList{"\xc3\x9cn\xc3\xaf \xe2\x99\xaa.aiff", "\xe3\x83\x88/a.wma"} << 0 << 0
            << "" << 2;
    }
    void skippedNames()
    {
        QFETCH(QByteArrayList, make);
        QTemporaryDir dir;
        for (const QByteArray &name : std::as_const(make))
            TestSupport::makeRawName(dir.path(), name);
        MusicFiles::SkippedNames skipped;
        int visited = 0;
        QVERIFY(MusicFiles::walk(
            dir.path(), MusicFiles::Entries::All,
            [&visited](const QFileInfo &entry) {
                visited += !entry.isDir() && MusicFiles::isAudioName(entry.fileName());
                return true;
            },
            &skipped));
        MusicFiles::SkippedNames skippedByFiles;
        int files = 0;
        QVERIFY(MusicFiles::walkFiles(
            dir.path(),
            [&files](QString &&, const FileState &) {
                ++files;
                return true;
            },
            &skippedByFiles));
        TestSupport::removeRawTree(dir.path());
        QCOMPARE(skippedByFiles.files, skipped.files);
        QCOMPARE(skippedByFiles.folders, skipped.folders);
        QCOMPARE(files, visited);
        QTEST(skipped.files, "files");
        QTEST(skipped.folders, "folders");
        QTEST(MusicFiles::skippedText(skipped), "text");
        QTEST(visited, "visited");
    }
};

QTEST_MAIN(TestMusicFiles)
#include "test_musicfiles.moc"
