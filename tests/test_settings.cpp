#include "TestSupport.h"
#include "library/SettingsStore.h"

#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QSettings ini{dir.filePath("settings.ini"), QSettings::IniFormat};

    static QStringList readAll(const SettingsStore &store)
    {
        return {"musicFolder=" + store.musicFolder(),
            "hasMusicFolder=" + QString::number(store.hasMusicFolder()),
            "shuffling=" + QString::number(store.shuffle()),
            "loopMode=" + QString::number(store.loopMode()),
            "volume=" + QString::number(store.volume()), "mainColor=" + store.mainColor(),
            "iconSize=" + store.iconSize(), "hasLastTrack=" + QString::number(store.hasLastTrack()),
            "lastIndex=" + QString::number(store.lastIndex()), "lastPath=" + store.lastPath(),
            "lastPosition=" + QString::number(store.lastPosition()),
            "replayGain=" + QString::number(store.replayGain()),
            "favorites=" + QString::number(store.favorites().size())};
    }

private slots:
    void initTestCase()
    {
        TestSupport::isolateSettings();
    }
    void init()
    {
        ini.clear();
    }

    void reads_data()
    {
        QTest::addColumn<QString>("reads"); // key=value; the row's name is what is stored

        QTest::newRow("nothing stored") << "shuffling=0 loopMode=0 volume=50 mainColor=orange "
                                           "iconSize=normal lastIndex=0 lastPosition=0 favorites=0";
        QTest::newRow("musicFolder= lastIndex=0 loopMode=3 volume=abc favorites/fav16/url=u "
                      "lastPosition=abc")
            << "hasMusicFolder=1 hasLastTrack=1 loopMode=0 volume=50 lastPosition=0 favorites=0";
        QTest::newRow("mainColor=teal iconSize=large lastPath=/a volume=nan favorites/fav15/url=u")
            << "mainColor=teal iconSize=large lastPath=/a volume=50 favorites=1";
        QTest::newRow("loopMode=2 volume=250 lastPosition=90000 replayGain=2")
            << "loopMode=2 volume=100 lastPosition=90000 replayGain=2";
        QTest::newRow("loopMode=-1 volume=-5 shuffling=true lastPosition=-5 replayGain=3")
            << "loopMode=0 volume=0 shuffling=1 lastPosition=0 replayGain=0";
    }
    void reads()
    {
        QFETCH(QString, reads);
        for (const QString &pair : QString(QTest::currentDataTag()).split(' ').filter("="))
            ini.setValue(pair.section('=', 0, 0), pair.section('=', 1));
        const QStringList values = readAll(SettingsStore(&ini));
        for (const QString &value : reads.split(' '))
            QVERIFY2(values.contains(value), qPrintable(value + " not in: " + values.join(' ')));
    }

    void writes()
    {
        ini.setValue("favorites/fav3/url", "https://radio.example/three");
        SettingsStore store(&ini);
        store.setMusicFolder("/Łucja");
        store.setShuffle(true);
        store.setLoopMode(2);
        store.setVolume(33.5f);
        store.setMainColor("teal");
        store.setIconSize("large");
        store.setLastTrack(7, "/Łucja/7.flac");
        store.setLastPosition(125000);
        store.setReplayGain(1);
        store.setFavorite(0, {QUrl("https://radio.example/low"), "", ""});
        store.setFavorite(16, {QUrl("https://radio.example/high"), "", ""});
        store.clearFavorite(3);
        store.saveFavorites();
        QCOMPARE(readAll(SettingsStore(&ini)) << "keys=" + QString::number(ini.allKeys().size()),
            QStringList({"musicFolder=/Łucja", "hasMusicFolder=1", "shuffling=1", "loopMode=2",
                "volume=33.5", "mainColor=teal", "iconSize=large", "hasLastTrack=1", "lastIndex=7",
                "lastPath=/Łucja/7.flac", "lastPosition=125000", "replayGain=1", "favorites=1",
                "keys=13"})); // 10 + 3 of fav0
    }

    void favouritePaths_data()
    {
        // A local file's path, and an artist and title of the same characters.
        QTest::addColumn<QString>("path");
        QTest::newRow("spaces") << "/m/My Album/01 Song .mp3";
        QTest::newRow("commas, quotes") << "/m/Smith, John/\"Quoted\" 'single',x.ogg";
        QTest::newRow("hash, percent") << "/m/#1 Hits/100% %41%2F #2.flac";
        QTest::newRow("URL syntax") << "/m/a?b;c=d&e+f[1]@x:y/~.wav";
        QTest::newRow("not ASCII") << QString::fromUtf16(u"/m/Łucja/トラック ♪ \U0001F3B5.flac");
        QTest::newRow("backslash, equals at the start") << "/m/=a\\b/;c.mp3";
    }
    void favouritePaths()
    {
        // Kept by one run, read by the next.
        QFETCH(QString, path);
        const QString text = QFileInfo(path).fileName();
        {
            QSettings settings = TestSupport::store();
            SettingsStore store(&settings);
            store.setFavorite(4, {QUrl::fromLocalFile(path), text, "title " + text});
            store.saveFavorites();
            store.sync();
        }
        QSettings settings = TestSupport::store();
        const SettingsStore::Favorite kept = SettingsStore(&settings).favorites().value(4);
        QCOMPARE(kept.url.toLocalFile(), path);
        QCOMPARE(kept.url, QUrl::fromLocalFile(path));
        QCOMPARE(kept.artist + '|' + kept.title, text + "|title " + text);
    }
};

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
