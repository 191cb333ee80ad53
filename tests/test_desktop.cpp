// What a screen reader finds (every control in Tab order, named, a switch's state), and the
// command line run as a user runs it.

#include "TestSupport.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QtTest>

using namespace TestSupport;

namespace {

QString nameOf(QObject *object)
{
    return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
}

// The name, and "|on" or "|off" for a switch, as a screen reader tells it.
QString spoken(QObject *object)
{
    QAccessibleInterface *control = QAccessible::queryAccessibleInterface(object);
    QString text = nameOf(object);
    if (control->state().checkable)
        text += control->state().checked ? QLatin1String("|on") : QLatin1String("|off");
    return text;
}

// The control of @p window itself (the dialogs are its children too) that is called @p name.
QWidget *named(QWidget *window, const QString &name)
{
    for (QWidget *widget : window->findChildren<QWidget *>())
        if (widget->window() == window && nameOf(widget) == name)
            return widget;
    return nullptr;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
    }

    void controlsInReadingOrder_data()
    {
        columns<QString, QStringList>(
            "window", "expected"); // window: the dialog's class, or empty for the main one
        QStringList main = {"Track list", "Set favorite|off", "Previous track", "Shuffle|off",
            "Play", "Stop", "Loop", "Next track", "Position", "Volume", "Mute"};
        for (int i = 1; i <= 16; ++i)
            main.append(QStringLiteral("Fav %1").arg(i));
        QTest::newRow("main window") << QString() << main;
        QTest::newRow("queue dialog") << "QueueDialog"
                                      << QStringList{"Play queue", "Move up", "Move down",
                                             "Clear queue", "Remove", "Move to front"};
        QTest::newRow("search dialog")
            << "SearchDialog"
            << QStringList{"Search for", "Search results", "Play", "Queue", "Show in track list"};
        QTest::newRow("about dialog")
            << "AboutDialog" << QStringList{"About", "Close"}; // the tab bar reads as its tab
    }

    void controlsInReadingOrder()
    {
        QFETCH(QString, window);
        QFETCH(QStringList, expected);
        const auto player = freshWindow();
        QWidget *target = player.get();
        for (QDialog *dialog : player->findChildren<QDialog *>())
            target = window == QLatin1String(dialog->metaObject()->className()) ? dialog : target;
        target->show();
        QApplication::setActiveWindow(target);
        QVERIFY(QTest::qWaitForWindowActive(target));
        QWidget *start = named(target, expected.first().section(QLatin1Char('|'), 0, 0));
        QVERIFY(start);
        start->setFocus(Qt::TabFocusReason);
        QStringList round; // one round of Tab presses
        for (QWidget *focus = start;
             focus && round.size() < 40 && (round.isEmpty() || focus != start);) {
            round.append(spoken(focus));
            QTest::keyClick(focus, Qt::Key_Tab);
            focus = QApplication::focusWidget();
        }
        QCOMPARE(round, expected);
    }

    void commandLine_data()
    {
        columns<QString, int, QString>(
            "option", "status", "output"); // output: on stdout if it succeeds, else stderr
        QTest::newRow("help") << "--help" << 0 << "[options] [FILE|URL]...";
        QTest::newRow("unknown option")
            << "--shuffle" << 1 << "Unknown option 'shuffle'.\n\nUsage: ";
    }

    void commandLine()
    {
        QFETCH(QString, option);
        QFETCH(int, status);
        QProcess player;
        player.start(QStringLiteral(CORVEL_PLAYER_PATH), {option});
        QVERIFY(player.waitForFinished(60000) && player.exitStatus() == QProcess::NormalExit);
        QTEST(player.exitCode(), "status");
        const QString out = QString::fromLocal8Bit(
            status ? player.readAllStandardError() : player.readAllStandardOutput());
        QFETCH(QString, output);
        QVERIFY2(out.contains(output), qPrintable(out));
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
