// The command line, run as a user runs it: --help and --version answer and end, an unknown option fails.

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
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<QString>("output"); // stdout when it succeeds, stderr when not

    QTest::newRow("help") << "--help" << true << "--version";
    QTest::newRow("version") << "--version" << true << "corvel-player " + DesktopApp::version();
    QTest::newRow("unknown option") << "--shuffle" << false << "Unknown option 'shuffle'.\n\nUsage: ";
}

void TestCommandLine::answers()
{
    QFETCH(QString, option);
    QFETCH(bool, succeeds);
    QFETCH(QString, output);

    QProcess player;
    player.start(QStringLiteral(CORVEL_PLAYER_PATH), {option});
    QVERIFY(player.waitForFinished(60000) && player.exitStatus() == QProcess::NormalExit);
    QCOMPARE(player.exitCode() == 0, succeeds);
    const QString out = QString::fromLocal8Bit(succeeds ? player.readAllStandardOutput() : player.readAllStandardError());
    QVERIFY2(out.contains(output), qPrintable(out));
}

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
