// Tinted icons: every embedded drawing renders, and the tint keeps the
// drawing's coverage while replacing its colour.

#include "SvgIcon.h"
#include "TestSupport.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QResource>
#include <QSvgRenderer>
#include <QtTest>

using namespace TestSupport;

namespace {

// Every drawing the player uses.
const QStringList iconNames = QStringLiteral(
    "play pause stop rewind fast-forward shuffle repeat repeat-1 volume volume-1 volume-2 volume-x heart "
    "heart-plus folder rotate-ccw log-out list-music trash-2 search palette scaling filled-circle arrow-up "
    "arrow-down list-start x arrow-right list-plus arrow-up-from-line arrow-right-to-line").split(u' ');

// The drawing's own coverage, rendered independently of SvgIcon.
QImage coverage(const QString &path, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(path);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestSvgIcon : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void everyIconRenders_data();
    void everyIconRenders();
    void tintIsExactAndBackgroundClear_data();
    void tintIsExactAndBackgroundClear();
    void physicalPixelsOnScaledScreen();
    void partialAlphaMultipliesCoverage();
    void missingPathGivesTransparentIcon();
    void setColoredIconSetsIconAndSize();
    void editedIconsAreFilledInTheCentre_data();
    void editedIconsAreFilledInTheCentre();
};

void TestSvgIcon::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestSvgIcon::everyIconRenders_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &name : iconNames)
        QTest::newRow(qPrintable(name)) << iconPath(name);
}

void TestSvgIcon::everyIconRenders()
{
    QFETCH(QString, path);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    QResource resource(path);
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    QVERIFY(QSvgRenderer(path).isValid());

    const QIcon icon = SvgIcon::coloredIcon(path, orange, QSize(16, 16));
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(16, 16)});
    const QImage image = iconImage(icon, QSize(16, 16));
    QCOMPARE(image.size(), QSize(16, 16));
    QVERIFY2(visiblePixels(image) > 0, "nothing drawn");
    // A shape, not a filled square: some of the pixmap stays clear.
    QVERIFY(visiblePixels(image) < 16 * 16);
}

void TestSvgIcon::tintIsExactAndBackgroundClear_data()
{
    everyIconRenders_data();
}

void TestSvgIcon::tintIsExactAndBackgroundClear()
{
    QFETCH(QString, path);

    // At 16 px the thin strokes cover no pixel fully, so the exact-colour
    // check needs 96 px; at 96 the coverage also shows a direct render at that
    // size, not a smaller one scaled up.
    for (const QSize size : {QSize(16, 16), QSize(96, 96)}) {
        const QIcon icon = SvgIcon::coloredIcon(path, orange, size);
        QCOMPARE(icon.availableSizes(), QList<QSize>{size});
        QCOMPARE(icon.pixmap(size).devicePixelRatio(), 1.0);
        const QImage premultiplied =
            icon.pixmap(size, 1.0).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage image = premultiplied.convertToFormat(QImage::Format_ARGB32);
        const QImage shape = coverage(path, size);
        QCOMPARE(image.size(), size);

        int opaque = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                const int alpha = qAlpha(pixel);
                // Alpha is the drawing's own: 0 outside the strokes.
                QCOMPARE(alpha, qAlpha(shape.pixel(x, y)));
                if (alpha == 255) {
                    ++opaque;
                    QCOMPARE(QColor::fromRgba(pixel), orange);
                }
                const QRgb stored = premultiplied.pixel(x, y);
                QVERIFY(qAbs(qRed(stored) - orange.red() * alpha / 255.0) <= 1.0);
                QVERIFY(qAbs(qGreen(stored) - orange.green() * alpha / 255.0) <= 1.0);
                QVERIFY(qAbs(qBlue(stored) - orange.blue() * alpha / 255.0) <= 1.0);
            }
        }
        if (size.width() == 96)
            QVERIFY2(opaque > 0, "no fully covered pixel");
        // The corners lie outside every drawing of the set.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size.width() - 1, size.height() - 1)), 0);
    }
}

// The screen scale can only be set before the application starts, so this
// case runs itself again in a child process with QT_SCALE_FACTOR=2.
void TestSvgIcon::physicalPixelsOnScaledScreen()
{
    if (qApp->devicePixelRatio() > 1.0) {
        const QIcon icon =
            SvgIcon::coloredIcon(iconPath(QStringLiteral("heart")), orange, QSize(96, 96));
        QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(96, 96)});
        const QPixmap pixmap = icon.pixmap(QSize(96, 96));
        QCOMPARE(pixmap.size(), QSize(96, 96));
        // Same pixels as a plain 96 px render: nothing was drawn at the screen scale.
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage shape = coverage(iconPath(QStringLiteral("heart")), QSize(96, 96));
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 96; ++x)
                QCOMPARE(qAlpha(image.pixel(x, y)), qAlpha(shape.pixel(x, y)));

        QPushButton button;
        SvgIcon::setColoredIcon(&button, iconPath(QStringLiteral("heart")), orange, QSize(96, 96));
        QCOMPARE(button.iconSize(), QSize(96, 96));
        QCOMPARE(button.icon().availableSizes(), QList<QSize>{QSize(96, 96)});
        return;
    }
    if (qEnvironmentVariableIsSet("CORVEL_SCALED_CHILD"))
        QSKIP("QT_SCALE_FACTOR had no effect on this platform");

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    env.insert(QStringLiteral("CORVEL_SCALED_CHILD"), QStringLiteral("1"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("physicalPixelsOnScaledScreen")});
    QVERIFY(child.waitForFinished(-1));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
             output.constData());
    if (output.contains("SKIP"))
        QSKIP("QT_SCALE_FACTOR had no effect on this platform");
}

void TestSvgIcon::partialAlphaMultipliesCoverage()
{
    const QString path = iconPath(QStringLiteral("shuffle"));
    QColor translucent(orange);
    translucent.setAlpha(128);

    const QImage full = iconImage(SvgIcon::coloredIcon(path, orange, QSize(48, 48)), QSize(48, 48));
    const QImage half =
        iconImage(SvgIcon::coloredIcon(path, translucent, QSize(48, 48)), QSize(48, 48));

    int covered = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const int cover = qAlpha(full.pixel(x, y));
            const int alpha = qAlpha(half.pixel(x, y));
            const int expected = qRound(cover * 128 / 255.0);
            QVERIFY2(qAbs(alpha - expected) <= 1,
                     qPrintable(QStringLiteral("pixel %1,%2: alpha %3, expected %4")
                                    .arg(x).arg(y).arg(alpha).arg(expected)));
            if (cover == 255) {
                ++covered;
                // Unpremultiplying a half-transparent pixel may be off by one.
                const QRgb pixel = half.pixel(x, y);
                QVERIFY(qAbs(qRed(pixel) - orange.red()) <= 2);
                QVERIFY(qAbs(qGreen(pixel) - orange.green()) <= 2);
                QVERIFY(qAbs(qBlue(pixel) - orange.blue()) <= 2);
            }
        }
    }
    QVERIFY(covered > 0);
}

void TestSvgIcon::missingPathGivesTransparentIcon()
{
    const QString missing = QStringLiteral(":/icons/no-such-icon.svg");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot open file")));
    const QIcon icon = SvgIcon::coloredIcon(missing, orange, QSize(24, 24));

    QVERIFY(!icon.isNull());
    QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(24, 24)});
    const QImage image = iconImage(icon, QSize(24, 24));
    QCOMPARE(image.size(), QSize(24, 24));
    QCOMPARE(visiblePixels(image), 0);

    // Not an SVG at all: same result.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot read file")));
    const QIcon notSvg = SvgIcon::coloredIcon(QStringLiteral(":/licenses/LICENSES/MIT.txt"),
                                              orange, QSize(32, 32));
    QCOMPARE(notSvg.availableSizes(), QList<QSize>{QSize(32, 32)});
    QCOMPARE(visiblePixels(iconImage(notSvg, QSize(32, 32))), 0);
}

void TestSvgIcon::setColoredIconSetsIconAndSize()
{
    QPushButton button;
    button.setIconSize(QSize(5, 5));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Cannot open file")));

    SvgIcon::setColoredIcon(&button, QStringLiteral(":/icons/no-such-icon.svg"), orange,
                            QSize(40, 40));
    QCOMPARE(button.iconSize(), QSize(40, 40));
    QCOMPARE(button.icon().availableSizes(), QList<QSize>{QSize(40, 40)});

    SvgIcon::setColoredIcon(&button, iconPath(QStringLiteral("pause")), orange, QSize(22, 22));
    QCOMPARE(button.iconSize(), QSize(22, 22));
    QCOMPARE(button.icon().availableSizes(), QList<QSize>{QSize(22, 22)});
    QVERIFY(visiblePixels(iconImage(button.icon(), QSize(22, 22))) > 0);
}

void TestSvgIcon::editedIconsAreFilledInTheCentre_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("filled");
    QTest::newRow("stop") << iconPath(QStringLiteral("stop")) << true;
    QTest::newRow("filled-circle") << iconPath(QStringLiteral("filled-circle")) << true;
    // An outline-only drawing for contrast: its centre stays clear.
    QTest::newRow("heart") << iconPath(QStringLiteral("heart")) << false;
}

void TestSvgIcon::editedIconsAreFilledInTheCentre()
{
    QFETCH(QString, path);
    QFETCH(bool, filled);

    const QImage image = iconImage(SvgIcon::coloredIcon(path, orange, QSize(16, 16)), QSize(16, 16));
    for (int y = 6; y < 10; ++y) {
        for (int x = 6; x < 10; ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (filled) {
                QCOMPARE(qAlpha(pixel), 255);
                QCOMPARE(QColor::fromRgba(pixel), orange);
            } else {
                QCOMPARE(qAlpha(pixel), 0);
            }
        }
    }
}

QTEST_MAIN(TestSvgIcon)
#include "test_svgicon.moc"
