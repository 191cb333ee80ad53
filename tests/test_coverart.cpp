// A track's cover: embedded pictures per format, the image beside the file, hostile pictures,
// and the loader that drops what a newer request overtook.

#include "../bench/ForgedPictures.h"
#include "TestSupport.h"
#include "library/cover/CoverArt.h"
#include "library/cover/CoverArtLoader.h"

#include <QtTest>

using namespace TestSupport;
using namespace forged;
using Source = CoverArt::Source;

namespace {

QImage solid(const QColor &color, int side = 8)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

QString sourceName(Source source)
{
    return source == Source::Embedded ? "embedded" : source == Source::Folder ? "folder" : "none";
}

/** What differs between @p art's image and a solid @p color of @p size; empty when alike. */
QString imageDiffers(const CoverArt &art, const QString &color, const QSize &size)
{
    if (color.isEmpty())
        return art.image.isNull() ? QString() : "an image where none was expected";
    if (art.image.size() != size)
        return QString("size %1x%2").arg(art.image.width()).arg(art.image.height());
    const QColor seen = art.image.pixelColor(size.width() / 2, size.height() / 2);
    const QColor wanted(color);
    const int off = std::max({qAbs(seen.red() - wanted.red()), qAbs(seen.green() - wanted.green()),
        qAbs(seen.blue() - wanted.blue())});
    return off <= 12 ? QString() : "colour " + seen.name(); // JPEG shifts a colour a little
}

} // namespace

class TestCoverArt : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
    }

    void sources_data()
    {
        // images: files beside the track, name:colour ("text": not an image, "fifo": a FIFO).
        columns<QString, QStringList, QString, QString, QSize, QString>(
            "track", "images", "source", "color", "size", "file");
        const QSize small(16, 16), beside(8, 8);
        const auto row
            = [](const char *name, const char *track, const QStringList &images, const char *source,
                  const char *color, QSize size, const char *file = "") {
                  QTest::newRow(name) << track << images << source << color << size << file;
              };
        row("ID3v2: the front cover, not the first picture", "art.mp3", {}, "embedded", "#ff0000",
            small);
        row("FLAC picture block, 600 px scaled to 512", "art.flac", {}, "embedded", "#ff8000",
            QSize(512, 512));
        row("Vorbis comment picture", "art.ogg", {}, "embedded", "#0000ff", small);
        row("Opus comment picture", "art.opus", {}, "embedded", "#ffff00", small);
        row("MP4 covr", "art.m4a", {}, "embedded", "#ff00ff", small);
        row("APEv2 in WavPack", "art.wv", {}, "embedded", "#00ffff", small);
        row("embedded beats the folder", "art.mp3", {"cover.jpg:#0000ff"}, "embedded", "#ff0000",
            small);
        row("cover.jpg", "tone.mp3", {"cover.jpg:#0000ff"}, "folder", "#0000ff", beside,
            "cover.jpg");
        row("Folder.JPEG", "tone.flac", {"Folder.JPEG:#0000ff"}, "folder", "#0000ff", beside,
            "Folder.JPEG");
        row("cover before album", "tone.mp3", {"album.jpg:#00ff00", "cover.png:#0000ff"}, "folder",
            "#0000ff", beside, "cover.png");
        row("folder before front", "tone.mp3", {"front.jpg:#00ff00", "folder.png:#0000ff"},
            "folder", "#0000ff", beside, "folder.png");
        row("jpg before png", "tone.mp3", {"folder.png:#00ff00", "folder.jpg:#0000ff"}, "folder",
            "#0000ff", beside, "folder.jpg");
        row("an undecodable cover gives way to the next", "tone.mp3",
            {"cover.jpg:text", "folder.jpg:#0000ff"}, "folder", "#0000ff", beside, "folder.jpg");
        row("other names are not covers", "tone.mp3",
            {"cover.gif:#0000ff", "covers.jpg:#0000ff", "back.jpg:#0000ff",
                "cover.jpg.bak:#0000ff"},
            "none", "", QSize());
        row("a FIFO named cover.jpg is not read", "tone.mp3", {"cover.jpg:fifo"}, "none", "",
            QSize());
        row("no art", "tone.mp3", {}, "none", "", QSize());
    }
    void sources()
    {
        QFETCH(QString, track);
        QFETCH(QStringList, images);
        QTemporaryDir dir;
        const QString path = copyFixture(track, dir.filePath("track." + QFileInfo(track).suffix()));
        for (const QString &image : images) {
            const QString name = image.section(':', 0, 0), kind = image.section(':', 1);
            const QString file = dir.filePath(name);
            if (kind == "fifo")
                QVERIFY(::mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
            else if (kind == "text")
                writeFile(file, "not an image");
            else
                writeFile(file,
                    encoded(solid(QColor(kind)),
                        name.endsWith("png", Qt::CaseInsensitive) ? "PNG" : "JPEG"));
        }
        const CoverArt art = CoverArt::read(path);
        QCOMPARE(art.track, path);
        QTEST(sourceName(art.source), "source");
        QFETCH(QString, color);
        QFETCH(QSize, size);
        QCOMPARE(imageDiffers(art, color, size), QString());
        QFETCH(QString, file);
        QCOMPARE(art.file, file.isEmpty() ? QString() : dir.filePath(file));
        // A desktop panel is told where the picture is, or given it at most 512 px a side.
        if (art.source == Source::Folder) {
            QCOMPARE(art.artUrl, QUrl::fromLocalFile(art.file).toString());
        } else if (art.source == Source::Embedded) {
            QVERIFY2(
                art.artUrl.startsWith("data:image/jpeg;base64,"), qPrintable(art.artUrl.left(40)));
        } else {
            QCOMPARE(art.artUrl, QString());
        }
    }

    // Each is refused before it costs much: no image, nothing for a panel.
    void hostilePictures_data()
    {
        columns<QString, QString>("where", "picture");
        const auto row = [](const char *name, const char *where, const char *picture) {
            QTest::newRow(name) << where << picture;
        };
        row("undecodable, embedded", "embedded", "text");
        row("0 bytes, embedded", "embedded", "empty");
        row("20000 x 20000 PNG header, embedded", "embedded", "png 20000");
        row("20000 x 20000 JPEG header, in the folder", "folder", "jpeg 20000");
        // Qt would decode it at full size (its own limit is 128 MB), then scale it down.
        row("5000 x 5000 PNG past the allocation limit, in the folder", "folder", "png 5000");
        // A small valid PNG and then padding: only the byte count is wrong.
        row("17 MB picture frame", "embedded", "padded");
        row("17 MB cover.png", "folder", "padded");
    }
    void hostilePictures()
    {
        QFETCH(QString, where);
        QFETCH(QString, picture);
        QTemporaryDir dir;
        const QString path = copyFixture("tone.mp3", dir.filePath("track.mp3"));
        QByteArray bytes;
        if (picture == "text")
            bytes = "GIF89a, or so it says";
        else if (picture == "png 20000")
            bytes = greyPng(20000, 8, 4);
        else if (picture == "jpeg 20000")
            bytes = truncatedJpeg(20000);
        else if (picture == "png 5000")
            bytes = greyPng(5000, 2, 5000);
        else if (picture == "padded")
            bytes = encoded(solid(Qt::red), "PNG") + QByteArray(17 * 1024 * 1024, '\0');
        if (where == "embedded")
            QVERIFY(embed(path, bytes));
        else
            writeFile(dir.filePath(picture.startsWith("jpeg") ? "cover.jpg" : "cover.png"), bytes);
        const CoverArt art = CoverArt::read(path);
        QVERIFY2(art.image.isNull(),
            qPrintable(
                QString("an image of %1x%2").arg(art.image.width()).arg(art.image.height())));
        QCOMPARE(sourceName(art.source), QString("none"));
        QCOMPARE(art.artUrl, QString());
    }

    // The requests in order, without the event loop turning between them; what was announced.
    void loader_data()
    {
        // "read": the GUI thread sleeps, so the read under way ends and its answer waits queued.
        columns<QStringList, QStringList>("requests", "announced");
        QTest::newRow("overtaken before it was read")
            << QStringList{"art.mp3", "tone.mp3"} << QStringList{"tone.mp3 none"};
        QTest::newRow("overtaken once read: the older answer is dropped")
            << QStringList{"art.mp3", "read", "tone.mp3"} << QStringList{"tone.mp3 none"};
        QTest::newRow("asked twice: read once")
            << QStringList{"art.mp3", "art.mp3"} << QStringList{"art.mp3 embedded"};
        QTest::newRow("nothing plays: no cover at once")
            << QStringList{"art.mp3", "read", ""} << QStringList{" none"};
        QTest::newRow("back to the first") << QStringList{"art.mp3", "read", "tone.mp3", "art.mp3"}
                                           << QStringList{"art.mp3 embedded"};
    }
    void loader()
    {
        QFETCH(QStringList, requests);
        QFETCH(QStringList, announced);
        CoverArtLoader loader;
        QStringList heard;
        connect(&loader, &CoverArtLoader::coverChanged, this, [&heard](const CoverArt &art) {
            heard << QFileInfo(art.track).fileName() + ' ' + sourceName(art.source);
        });
        for (const QString &name : requests) {
            if (name == "read")
                QThread::msleep(300); // a small file is read well within this
            else
                loader.request(name.isEmpty() ? QString() : fixture(name));
        }
        QTRY_COMPARE_WITH_TIMEOUT(heard.size(), announced.size(), 20000);
        QTest::qWait(100); // an answer not dropped would come now
        QCOMPARE(heard.join(" / "), announced.join(" / "));
        QCOMPARE(sourceName(loader.current().source), announced.last().section(' ', 1));
    }
};

QTEST_MAIN(TestCoverArt)
#include "test_coverart.moc"
