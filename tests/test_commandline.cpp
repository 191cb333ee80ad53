// The player's command line, run as a user runs it: --help and --version
// answer and end the program, an unknown option prints the usage and fails.

#include "DesktopApp.h"

#include <QProcess>
#include <QtTest>

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
};

void TestCommandLine::answers_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("errors");

    QTest::newRow("help") << QStringLiteral("--help") << 0 << QStringLiteral("--version") << QString();
    QTest::newRow("version") << QStringLiteral("--version")
                             << 0 << QStringLiteral("corvel-player ") + DesktopApp::version() << QString();
    QTest::newRow("unknown option") << QStringLiteral("--shuffle") << 1 << QString()
                                    << QStringLiteral("Unknown option 'shuffle'.\n\nUsage: ");
}

void TestCommandLine::answers()
{
    QFETCH(QString, option);
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(QString, errors);

    QProcess player;
    player.start(QStringLiteral(CORVEL_PLAYER_PATH), {option});
    QVERIFY(player.waitForFinished(60000));
    QCOMPARE(player.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.exitCode(), status);
    const QString out = QString::fromLocal8Bit(player.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(player.readAllStandardError());
    QVERIFY2(output.isEmpty() ? out.isEmpty() : out.contains(output), qPrintable(out));
    QVERIFY2(err.contains(errors), qPrintable(err));
}

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
