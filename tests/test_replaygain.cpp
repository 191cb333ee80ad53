// The loudness correction: what the tags of each format hold, how a gain
// text reads, and the factor each mode gives the output.

#include "TestSupport.h"

#include "playback/ReplayGain.h"

#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/mp4file.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>

#include <cmath>

using TestSupport::copyFixture;

namespace {

using Gain = std::optional<double>;

/** "-" for none, else the value to two decimals, so that a table compares texts. */
QString show(const Gain &value)
{
    return value ? QString::number(*value, 'f', 2) : QStringLiteral("-");
}

} // namespace

class TestReplayGain : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        TestSupport::isolateSettings();
        QVERIFY(dir.isValid());
    }

    void read_data()
    {
        // How the tags are written: "properties" through TagLib's generic map (ID3v2 TXXX, Xiph
        // comments; read back the same way for every format), else the format's own free-form item.
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("read"); // track gain, track peak, album gain, album peak
        const auto row = [](const char *name, const char *fixture, const char *how,
                             const char *read = "-6.50 0.90 -8.00 0.95") {
            QTest::newRow(name) << fixture << how << read;
        };
        row("mp3, TXXX", "tone.mp3", "properties");
        row("ogg, Vorbis comments", "tone.ogg", "properties");
        row("m4a, iTunes free-form in lower case", "tone.m4a", "mp4", "-6.50 - -8.00 -");
        row("wma, ASF attributes", "tone.wma", "asf", "-6.50 - -8.00 -");
        row("opus, R128 against -23 LUFS", "tone.opus", "r128", "1.00 - -4.00 -");
        row("no gains", "tone.ogg", "none", "- - - -");
        row("not audio", "", "none", "- - - -");
    }
    void read()
    {
        QFETCH(QString, fixture);
        QFETCH(QString, how);
        const QString path = dir.filePath(QString(QTest::currentDataTag()).section(',', 0, 0) + '.'
            + (fixture.isEmpty() ? "mp3" : QFileInfo(fixture).suffix()));
        if (fixture.isEmpty())
            TestSupport::writeFile(path, "not audio");
        else
            copyFixture(fixture, path);
        const QByteArray name = QFile::encodeName(path);
        if (how == "properties") {
            TagLib::FileRef ref(name.constData());
            TagLib::PropertyMap map = ref.file()->properties();
            map.insert("REPLAYGAIN_TRACK_GAIN", TagLib::StringList("-6.50 dB"));
            map.insert("REPLAYGAIN_TRACK_PEAK", TagLib::StringList("0.900000"));
            map.insert("REPLAYGAIN_ALBUM_GAIN", TagLib::StringList("-8 dB"));
            map.insert("REPLAYGAIN_ALBUM_PEAK", TagLib::StringList("0.95"));
            ref.file()->setProperties(map);
            QVERIFY(ref.save());
        } else if (how == "mp4") {
            TagLib::MP4::File file(name.constData());
            file.tag()->setItem(
                "----:com.apple.iTunes:replaygain_track_gain", TagLib::StringList("-6.50 dB"));
            file.tag()->setItem(
                "----:com.apple.iTunes:replaygain_album_gain", TagLib::StringList("-8.00 dB"));
            QVERIFY(file.save());
        } else if (how == "asf") {
            TagLib::ASF::File file(name.constData());
            file.tag()->setAttribute("replaygain_track_gain", TagLib::String("-6.50 dB"));
            file.tag()->setAttribute("replaygain_album_gain", TagLib::String("-8.00 dB"));
            QVERIFY(file.save());
        } else if (how == "r128") {
            TagLib::Ogg::Opus::File file(name.constData());
            file.tag()->addField("R128_TRACK_GAIN", "-1024"); // -4 dB, +5 for the reference
            file.tag()->addField("R128_ALBUM_GAIN", "-2304");
            QVERIFY(file.save());
        }
        const ReplayGain::Gains gains = ReplayGain::read(path);
        QTEST(QStringList({show(gains.trackGain), show(gains.trackPeak), show(gains.albumGain),
                              show(gains.albumPeak)})
                  .join(' '),
            "read");
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("r128");
        QTest::addColumn<QString>("gain");
        QTest::newRow("with its unit") << "-6.50 dB" << false << "-6.50";
        QTest::newRow("a plus, no unit") << "+1.2" << false << "1.20";
        QTest::newRow("unit in any case, spaces around") << " 3 db " << false << "3.00";
        QTest::newRow("no digit before the point") << "-.5 dB" << false << "-0.50";
        QTest::newRow("not a number") << "loud" << false << "-";
        QTest::newRow("empty") << "" << false << "-";
        QTest::newRow("text after the unit") << "-6 dB (album)" << false << "-";
        QTest::newRow("beyond any tagger") << "-99 dB" << false << "-";
        QTest::newRow("r128: Q7.8 plus the reference") << "-512" << true << "3.00";
        QTest::newRow("r128: zero is 5 dB") << "0" << true << "5.00";
        QTest::newRow("r128: beyond 16 bits") << "40000" << true << "-";
        QTest::newRow("r128: not an integer") << "-5.5" << true << "-";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, r128);
        QTEST(show(r128 ? ReplayGain::parseR128(text) : ReplayGain::parseGain(text)), "gain");
    }

    void factor_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<double>>("gains"); // track gain, peak, album gain, peak; NaN: none
        QTest::addColumn<double>("factor");
        const double none = std::nan("");
        QTest::newRow("off: 1 whatever the tags") << 0 << QList<double>{-6.0206, 1, -12, 1} << 1.0;
        QTest::newRow("track") << 1 << QList<double>{-6.0206, none, -12.0412, none} << 0.5;
        QTest::newRow("album") << 2 << QList<double>{-6.0206, none, -12.0412, none} << 0.25;
        QTest::newRow("album falls back to the track gain")
            << 2 << QList<double>{-6.0206, none, none, none} << 0.5;
        QTest::newRow("track falls back to the album gain")
            << 1 << QList<double>{none, none, -12.0412, none} << 0.25;
        QTest::newRow("neither: 1") << 2 << QList<double>{none, 0.5, none, 0.5} << 1.0;
        QTest::newRow("a positive gain capped by its peak")
            << 1 << QList<double>{6.0206, 0.8, none, 0.25} << 1.25;
        QTest::newRow("the album's peak with the album's gain")
            << 2 << QList<double>{none, 0.25, 6.0206, 0.8} << 1.25;
        QTest::newRow("a peak above full scale lowers a cut further")
            << 1 << QList<double>{-6.0206, 4, none, none} << 0.25;
    }
    void factor()
    {
        QFETCH(int, mode);
        QFETCH(QList<double>, gains);
        QFETCH(double, factor);
        const auto value
            = [&gains](int i) { return std::isnan(gains[i]) ? Gain() : Gain(gains[i]); };
        const double got
            = ReplayGain::factor(ReplayGain::Mode(mode), {value(0), value(1), value(2), value(3)});
        QVERIFY2(std::abs(got - factor) < 1e-4,
            qPrintable(QString("%1, expected %2").arg(got).arg(factor)));
    }
};

QTEST_GUILESS_MAIN(TestReplayGain)
#include "test_replaygain.moc"
