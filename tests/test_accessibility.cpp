// What a screen reader finds: every control of the window and the dialogs,
// reached with Tab in reading order, with its accessible name and, for the
// icon-only buttons, a description; the play/pause and mute names follow the
// state.

#include "AboutDialog.h"
#include "PlayerWindow.h"
#include "QueueDialog.h"
#include "SearchDialog.h"
#include "TestSupport.h"

#include <QAccessible>
#include <QtTest>

using namespace TestSupport;

namespace {

// "Name" or "Name|Description", as the accessibility tree tells it.
QString spoken(QWidget *widget)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    if (!face)
        return QStringLiteral("<no interface>");
    const QString description = face->text(QAccessible::Description);
    return face->text(QAccessible::Name) + (description.isEmpty() ? QString() : QLatin1Char('|') + description);
}

QAccessibleInterface *named(QWidget *window, const QString &name)
{
    const QList<QWidget *> widgets = window->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
        // The dialogs are children too; their play button is not the window's.
        if (widget->window() == window && face && face->text(QAccessible::Name) == name)
            return face;
    }
    return nullptr;
}

// One round of Tab presses through @p window, starting at its first control.
QStringList tabRound(QWidget *window, const QString &first)
{
    window->show();
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window))
        return {QStringLiteral("<not active>")};
    QAccessibleInterface *start = named(window, first);
    if (!start)
        return {QStringLiteral("<no %1>").arg(first)};
    qobject_cast<QWidget *>(start->object())->setFocus(Qt::TabFocusReason);
    QStringList round;
    for (QWidget *focus = QApplication::focusWidget(); focus && round.size() < 40;) {
        round.append(spoken(focus));
        QTest::keyClick(focus, Qt::Key_Tab);
        focus = QApplication::focusWidget();
        if (focus == start->object())
            break;
    }
    window->hide();
    return round;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void controlsInReadingOrder_data();
    void controlsInReadingOrder();
    void namesFollowTheState();
};

void TestAccessibility::initTestCase()
{
    TestSupport::isolateSettings();
}

void TestAccessibility::init()
{
    TestSupport::clearPlayerSettings();
}

void TestAccessibility::controlsInReadingOrder_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("expected");

    QStringList main = {
        QStringLiteral("Track list"),
        QStringLiteral("Set favorite|Then choose a favorite button to keep the playing track on"),
        QStringLiteral("Previous track|Play the previous track"),
        QStringLiteral("Shuffle|Switch shuffle on or off"),
        QStringLiteral("Play|Play or pause the current track"),
        QStringLiteral("Stop|Stop playback"),
        QStringLiteral("Loop|Cycle the loop mode: off, whole list, current track"),
        QStringLiteral("Next track|Play the next track"),
        QStringLiteral("Position"),
        QStringLiteral("Volume|50%"), // the tool tip describes it
        QStringLiteral("Mute|Mute or restore the volume"),
    };
    for (int i = 1; i <= 16; ++i)
        main.append(QStringLiteral("Fav %1|No favorite set").arg(i));
    QTest::newRow("main window") << QString() << main;

    QTest::newRow("queue dialog") << QStringLiteral("QueueDialog") << QStringList{
        QStringLiteral("Play queue"),
        QStringLiteral("Move up|Move the selected track up the queue"),
        QStringLiteral("Move down|Move the selected track down the queue"),
        QStringLiteral("Clear queue|Remove every track from the queue"),
        QStringLiteral("Remove|Remove the selected track from the queue"),
        QStringLiteral("Move to front|Move the selected track to the front of the queue"),
    };
    QTest::newRow("search dialog") << QStringLiteral("SearchDialog") << QStringList{
        QStringLiteral("Search for|Part of an artist, title, album or file name"),
        QStringLiteral("Search results"),
        QStringLiteral("Play|Play the selected track"),
        QStringLiteral("Queue|Add the selected track to the play queue, or take it out"),
        QStringLiteral("Show in track list|Select the track in the main track list"),
    };
    // The tab bar reads as its current tab; the licence text sits on the other.
    QTest::newRow("about dialog") << QStringLiteral("AboutDialog")
                                  << QStringList{QStringLiteral("About"), QStringLiteral("Close")};
}

void TestAccessibility::controlsInReadingOrder()
{
    QFETCH(QString, window);
    QFETCH(QStringList, expected);

    const auto player = freshWindow();
    QWidget *target = player.get();
    if (!window.isEmpty()) {
        const QList<QDialog *> dialogs = player->findChildren<QDialog *>();
        for (QDialog *dialog : dialogs) {
            if (window == QLatin1String(dialog->metaObject()->className()))
                target = dialog;
        }
    }
    QCOMPARE(tabRound(target, expected.first().section(QLatin1Char('|'), 0, 0)), expected);
    QVERIFY(!player->windowIcon().isNull());
}

void TestAccessibility::namesFollowTheState()
{
    QTemporaryDir music;
    writeFixtureLibrary(music.path());
    storeMusicFolder(music.path());
    const auto window = freshWindow();

    QAccessibleInterface *mute = named(window.get(), QStringLiteral("Mute"));
    QVERIFY(mute);
    mute->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    // A press is an animated click that lands a moment later.
    QTRY_COMPARE(mute->text(QAccessible::Name), QStringLiteral("Unmute"));
    mute->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(mute->text(QAccessible::Name), QStringLiteral("Mute"));

    // Clicked directly, so the name is read before the backend reports back.
    QAccessibleInterface *playPause = named(window.get(), QStringLiteral("Play"));
    QVERIFY(playPause);
    qobject_cast<QAbstractButton *>(playPause->object())->click();
    QCOMPARE(playPause->text(QAccessible::Name), QStringLiteral("Pause"));
    qobject_cast<QAbstractButton *>(named(window.get(), QStringLiteral("Stop"))->object())->click();
    QCOMPARE(playPause->text(QAccessible::Name), QStringLiteral("Play"));
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
