// Files named on the command line or dropped on the window: the first plays, the others are
// queued after it, each bad name is reported.

#include "TestSupport.h"
#ifdef CORVEL_HAS_DBUS
#include "desktop/MprisService.h"
#endif
#include "library/FileResolver.h"
#include "playback/PlayerController.h"
#include "playback/QueueController.h"
#include "ui/widgets/TrackList.h"

#include <QLabel>
#include <QMimeData>
#include <QtTest>

using namespace TestSupport;

namespace {

/** Drops @p urls on @p target as a file manager does; the action the drop was taken with. */
Qt::DropAction drop(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    // With Shift held the source proposes a move, as file managers do on one disk.
    QDragEnterEvent enter(QPoint(1, 1), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(1, 1), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(target, &dropped); // only an accepted drag gets this far
    return enter.isAccepted() && dropped.isAccepted() ? dropped.dropAction() : Qt::IgnoreAction;
}

} // namespace

class TestOpen : public QObject {
    Q_OBJECT

    QTemporaryDir root; // music: the library a.mp3 b.wav c.ogg; other: files outside it

private slots:
    void initTestCase()
    {
        isolateSettings();
        writeLibrary(root.filePath("music"));
        for (const QString name : {"x.mp3", "LOUD.WAV", "deep/y.ogg"})
            copyFixture(
                "tone." + QFileInfo(name).suffix().toLower(), root.filePath("other/" + name));
        writeFile(root.filePath("other/notes.mp3.txt"), "not audio");
        writeFile(root.filePath("music/deep/notes.txt"), "no audio");
    }

    void open_data()
    {
        // how: "line" resolves names against other/, "drop" drops them on the track list, "early"
        // opens them before the library is read (a full scan: real tags from then on), "bus" hands
        // them over as a second start does (OpenUri, QueueNext). $: the temporary folder. c.ogg is
        // queued and the restored track before. plays: the file, "(row)" when it plays as its
        // library row. title: "" for the program's name. status: after "Cannot open ".
        columns<QString, QStringList, QString, QString, QString, QString>(
            "how", "names", "plays", "queued", "title", "status");
        const auto row = [](const char *name, QString how, QStringList names, QString plays,
                             QString queued, QString title, QString status = {}) {
            QTest::newRow(name) << how << names << plays << queued << title << status;
        };
        const QString mp3 = "Mp3 Album Artist - Mp3 Tone (0:01)"; // x.mp3, outside
        const QString ogg = "Ogg Album Artist - Ogg Tone (0:01)"; // y.ogg, outside
        row("in the library, a file: URL: as its row", "line", {"file://$/music/b.wav"},
            "b.wav (row)", "c.ogg", "Artist b - Tone (0:01)");
        row("outside; the rest queued first, c.ogg moved", "line",
            {"x.mp3", "../music/a.mp3", "../music/c.ogg"}, "x.mp3", "a.mp3 c.ogg", mp3);
        row("the same file named twice: once, where first named", "line",
            {"x.mp3", "../music/a.mp3", "x.mp3", "../music/a.mp3"}, "x.mp3", "a.mp3 c.ogg", mp3);
        row("a folder: the audio files below it in name order, any case", "line", {"."}, "y.ogg",
            "LOUD.WAV x.mp3 c.ogg", ogg);
        row("a file and the folder it is in: the file once, first", "line", {"x.mp3", "."}, "x.mp3",
            "y.ogg LOUD.WAV c.ogg", mp3);
        row("an empty name is not the working folder", "line", {"", "x.mp3"}, "x.mp3", "c.ogg", mp3,
            "\"\": no such file or folder.");
        row("good and bad", "line", {"gone.mp3", "x.mp3", "notes.mp3.txt"}, "x.mp3", "c.ogg", mp3,
            "\"gone.mp3\": no such file or folder. (1 more not opened)");
        row("dropped: a folder and a file", "drop", {"file://$/other/deep", "file://$/music/a.mp3"},
            "y.ogg", "a.mp3 c.ogg", ogg);
        row("dropped: a web address and a folder without audio: each told, by its name", "drop",
            {"http://a.org/a.mp3", "file://$/music/deep"}, "", "c.ogg", "",
            "\"http://a.org/a.mp3\": only local files and file: URLs can be opened. (1 more not "
            "opened)");
#ifdef CORVEL_HAS_DBUS
        row("handed over: a library file as its row, the list on it", "bus",
            {"file://$/music/b.wav", "file://$/other/x.mp3"}, "b.wav (row)", "x.mp3 c.ogg",
            "Artist b - Tone (0:01)");
#endif
        row("before the library is read: as its row once it is", "early",
            {"../music/b.wav", "gone.mp3"}, "b.wav (row)", "c.ogg",
            "Wav Album Artist - Wav Tone (0:01)", "\"gone.mp3\": no such file or folder.");
        row("before the library is read: outside, titled by its tags", "early", {"x.mp3"}, "x.mp3",
            "c.ogg", mp3);
    }
    void open()
    {
        QFETCH(QString, how);
        QFETCH(QStringList, names);
        names.replaceInStrings("$", root.path());
        const QString music = root.filePath("music/");
        if (how == "early") // the library comes from a full scan, some time after the start
            QVERIFY(QFile::remove(music + "playlist_cache.json"));
        store().setValue("musicFolder", root.filePath("music"));
        store().setValue("lastPath", music + "c.ogg"); // restored, must not win over the names
        const auto w = freshWindow();
        w->show();
        w->queue()->toggle(music + "c.ogg");
        TrackList *list = child<TrackList>(w.get(), "trackList");
        const auto settled = [&] {
            return noScanPending(*w->library()->tracks()) && list->model()->rowCount() == 3;
        };
        QTRY_VERIFY_WITH_TIMEOUT(how == "early" || settled(), 20000);
        if (how == "drop") { // a move would delete the files in the file manager
            QCOMPARE(drop(list->viewport(), QUrl::fromStringList(names)), Qt::CopyAction);
        } else if (how == "bus") {
#ifdef CORVEL_HAS_DBUS
            // Off the bus: the calls a second start makes, as the adaptors make them.
            auto *bus = new MprisService(w->controller(), QDBusConnection(QString()));
            bus->openUri(names.first());
            bus->queueNext(names.mid(1));
            finishBackgroundWork(); // the files to queue are checked after the answer
#endif
        } else {
            w->openFiles(FileResolver::resolve(names, root.filePath("other")));
        }
        QTRY_VERIFY_WITH_TIMEOUT(settled(), 60000);

        PlayerController *player = w->controller();
        const QUrl source = player->source();
        const bool asRow = w->library()->tracks()->at(player->currentRow()) == source;
        QTEST(source.fileName() + (asRow ? " (row)" : ""), "plays");
        QTEST(w->queue()->paths().replaceInStrings(QRegularExpression(".*/"), "").join(' '),
            "queued");
        QCOMPARE(list->currentRow(), player->currentRow()); // not the restored track's
        QTEST(w->windowTitle().replace("Corvel Media Player", ""), "title");
        QTEST(child<QLabel>(w.get(), "statusLine")->text().section("Cannot open ", 1), "status");
        // Next plays the front of the queue, a file outside the library as well.
        const QString front = w->queue()->paths().constFirst();
        player->next();
        QCOMPARE(player->source().toLocalFile(), front);
    }
};

QTEST_MAIN(TestOpen)
#include "test_open.moc"
