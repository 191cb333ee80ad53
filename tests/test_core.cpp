// The core as the program wires it, without a window: what start() puts into the transport and
// the library from the stored settings, and what the core writes back.

#include "TestSupport.h"
#include "playback/PlayerController.h"

#include <QtTest>

using namespace TestSupport;

class TestCore : public QObject {
    Q_OBJECT

    std::unique_ptr<PlayerCore> core;
    std::unique_ptr<QTemporaryDir> music;

    QString transport() const
    {
        const PlayerController *player = core->controller();
        return QString("shuffle=%1 loop=%2 volume=%3")
            .arg(player->shuffle())
            .arg(player->loopMode())
            .arg(player->volume());
    }

private slots:
    void initTestCase()
    {
        isolateSettings();
    }
    void init()
    {
        clearStore();
        music = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        core.reset();
        finishBackgroundWork();
        music.reset();
    }

    void startRestoresTransport_data()
    {
        QTest::addColumn<QString>("restored"); // the row's name is what is stored
        QTest::newRow("nothing stored") << "shuffle=0 loop=0 volume=50";
        QTest::newRow("shuffling=true loopMode=2 volume=33.5") << "shuffle=1 loop=2 volume=33.5";
    }
    void startRestoresTransport()
    {
        for (const QString &pair : QString(QTest::currentDataTag()).split(' ').filter("="))
            store().setValue(pair.section('=', 0, 0), pair.section('=', 1));
        core = std::make_unique<PlayerCore>();
        // Nothing of the store reaches the transport before start(): the views connect first.
        QSignalSpy volume(core->controller(), &PlayerController::volumeChanged);
        QCOMPARE(transport(), QString("shuffle=0 loop=0 volume=0"));
        QStringList seen; // the transport as the views find it when told to read their settings
        connect(core.get(), &PlayerCore::settingsLoaded, this, [&] { seen << transport(); });
        core->start();
        QFETCH(QString, restored);
        QCOMPARE(seen, QStringList{restored});
        QCOMPARE(volume.count(), 1);
    }

    // The music folder at start and when chosen: the installs that follow, the rows, the track
    // that is current, and the folder in the store.
    void folder_data()
    {
        columns<QString, QStringList, int>("folder", "installs", "current");
        QTest::newRow("none stored") << "none" << QStringList{} << -1;
        QTest::newRow("stored, with its cache") << "cache" << QStringList{"Cache", "Update"} << 0;
        QTest::newRow("stored, without a cache") << "scan" << QStringList{"Scan"} << 0;
        QTest::newRow("the stored track found by its path, not its row")
            << "track" << QStringList{"Cache", "Update"} << 2;
        QTest::newRow("chosen after the start") << "chosen" << QStringList{"Scan"} << 0;
    }
    void folder()
    {
        QFETCH(QString, folder);
        const QStringList paths = writeLibrary(music->path());
        if (folder == "scan")
            QVERIFY(QFile::remove(Library::cachePath(music->path())));
        if (folder != "none" && folder != "chosen")
            store().setValue("musicFolder", music->path());
        if (folder == "track") {
            store().setValue("lastIndex", 0);
            store().setValue("lastPath", paths.at(2));
            store().setValue("lastPosition", 30000);
        }
        core = std::make_unique<PlayerCore>();
        QStringList installs;
        connect(core->library(), &Library::installed, this, [&installs](Library::Install how) {
            installs << QMetaEnum::fromType<Library::Install>().valueToKey(int(how));
        });
        core->start();
        if (folder == "chosen")
            core->setMusicFolder(music->path());
        QTRY_VERIFY_WITH_TIMEOUT(!core->library()->busy(), 60000);
        QTEST(installs, "installs");
        const bool hasFolder = folder != "none";
        QCOMPARE(core->library()->tracks()->count(), hasFolder ? 3 : 0);
        QCOMPARE(store().value("musicFolder").toString(), hasFolder ? music->path() : QString());
        if (hasFolder)
            QTEST(core->controller()->currentRow(), "current");
        // Not played yet: the next start still goes on where the last run stopped.
        core->saveSettings();
        QCOMPARE(store().value("lastPosition").toLongLong(), folder == "track" ? 30000 : 0);
    }

    // A new track is stored at once; the rest of the transport and the favourites with a save.
    void savesState()
    {
        const QStringList paths = writeLibrary(music->path());
        store().setValue("musicFolder", music->path());
        store().setValue("favorites/fav4/url", "file:///kept.mp3");
        core = std::make_unique<PlayerCore>();
        core->start();
        QTRY_VERIFY_WITH_TIMEOUT(!core->library()->busy(), 60000);
        QVERIFY2(!core->keepFavorite(4), "nothing loaded, yet a favourite was kept");
        core->controller()->playRow(2);
        QCOMPARE(store().value("lastPath").toString(), paths.at(2));
        core->controller()->setShuffle(true);
        core->controller()->setLoopMode(PlayOrder::Track);
        core->controller()->setVolume(20);
        QVERIFY(core->keepFavorite(5));
        core->saveSettings();
        QStringList stored;
        for (const char *key : {"shuffling", "loopMode", "volume", "favorites/fav4/url",
                 "favorites/fav5/url", "favorites/fav5/title"})
            stored << store().value(key).toString();
        QCOMPARE(stored,
            (QStringList{"true", "2", "20", "file:///kept.mp3",
                QUrl::fromLocalFile(paths.at(2)).toString(), "Tone"}));
        QVERIFY2(core->playFavorite(4), "a kept favourite did not play");
        QCOMPARE(core->controller()->source(), QUrl("file:///kept.mp3"));
        QVERIFY2(!core->playFavorite(6), "a free slot played");
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "test_core.moc"
