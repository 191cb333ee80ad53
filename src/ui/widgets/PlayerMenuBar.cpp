#include "ui/widgets/PlayerMenuBar.h"

#include "ui/SvgIcon.h"
#include "ui/Theme.h"

#include <QActionGroup>
#include <QMenu>

#include <utility>

PlayerMenuBar::PlayerMenuBar(QWidget *parent)
    : QMenuBar(parent)
{
    // Names for the tests and the benchmark, which see the window from outside.
    const auto add = [](QMenu *menu, const QString &text, const char *name) {
        QAction *action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    QMenu *playlistMenu = addMenu(tr("Media"));
    openSearch = add(playlistMenu, tr("Search"), "searchAction");
    playlistMenu->addSeparator();
    setFolderAction = add(playlistMenu, tr("Set music folder..."), "setFolderAction");
    updateAction = add(playlistMenu, tr("Update playlist"), "updateAction");
    playlistMenu->addSeparator();
    quitAction = add(playlistMenu, tr("Quit"), "quitAction");
    playlistMenu->addSeparator();
    QMenu *gainMenu = playlistMenu->addMenu(tr("ReplayGain"));
    auto *gainGroup = new QActionGroup(this);
    for (const auto &[text, name] :
        {std::pair{tr("Off"), "gainOffAction"}, std::pair{tr("Track"), "gainTrackAction"},
            std::pair{tr("Album"), "gainAlbumAction"}}) {
        QAction *action = add(gainMenu, text, name);
        action->setCheckable(true);
        gainGroup->addAction(action);
        const int mode = int(gainActions.size());
        connect(action, &QAction::triggered, this, [this, mode] { emit replayGainChosen(mode); });
        gainActions.append(action);
    }
    gainActions.front()->setChecked(true);

    QMenu *queueMenu = addMenu(tr("Queue"));
    showQueueAction = add(queueMenu, tr("Show Queue"), "showQueueAction");
    clearQueueAction = add(queueMenu, tr("Clear Queue"), "clearQueueAction");

    QMenu *stylesMenu = addMenu(tr("Style"));
    colorMenu = stylesMenu->addMenu(tr("Color"));
    setOrange = add(colorMenu, tr("Orange"), "orangeAction");
    setBlue = add(colorMenu, tr("Blue"), "blueAction");
    setGreen = add(colorMenu, tr("Green"), "greenAction");
    sizeMenu = stylesMenu->addMenu(tr("Size"));
    QAction *iconSmall = add(sizeMenu, tr("Small"), "smallAction");
    QAction *iconNormal = add(sizeMenu, tr("Normal"), "normalAction");
    QAction *iconBig = add(sizeMenu, tr("Big"), "bigAction");
    stylesMenu->addSeparator();
    // The entry's text is what a screen reader says; the status tip tells what it does.
    notificationsAction = add(stylesMenu, tr("Track notifications"), "notificationsAction");
    notificationsAction->setCheckable(true);
    notificationsAction->setStatusTip(
        tr("Show a desktop notification when the track changes while the window is in the "
           "background"));
#ifndef CORVEL_HAS_DBUS
    // Notifications go over D-Bus; without it the entry would do nothing.
    notificationsAction->setVisible(false);
#endif

    QMenu *aboutMenu = addMenu(tr("About"));
    QAction *showAboutAction = add(aboutMenu, tr("About Corvel Media Player"), "aboutAction");

    connect(openSearch, &QAction::triggered, this, &PlayerMenuBar::searchRequested);
    connect(setFolderAction, &QAction::triggered, this, &PlayerMenuBar::chooseFolderRequested);
    connect(updateAction, &QAction::triggered, this, &PlayerMenuBar::updateRequested);
    connect(quitAction, &QAction::triggered, this, &PlayerMenuBar::quitRequested);
    connect(showQueueAction, &QAction::triggered, this, &PlayerMenuBar::showQueueRequested);
    connect(clearQueueAction, &QAction::triggered, this, &PlayerMenuBar::clearQueueRequested);
    connect(showAboutAction, &QAction::triggered, this, &PlayerMenuBar::aboutRequested);
    connect(notificationsAction, &QAction::triggered, this, &PlayerMenuBar::notificationsToggled);
    const QList<std::pair<QAction *, QString>> colours = {{setOrange, QStringLiteral("orange")},
        {setBlue, QStringLiteral("blue")}, {setGreen, QStringLiteral("green")}};
    for (const auto &[action, name] : colours)
        connect(action, &QAction::triggered, this, [this, name = name] { emit colorChosen(name); });
    const QList<std::pair<QAction *, QString>> sizes = {{iconSmall, QStringLiteral("small")},
        {iconNormal, QStringLiteral("normal")}, {iconBig, QStringLiteral("big")}};
    for (const auto &[action, name] : sizes)
        connect(action, &QAction::triggered, this, [this, name = name] { emit sizeChosen(name); });
}

void PlayerMenuBar::setReplayGainMode(int mode)
{
    if (QAction *action = gainActions.value(mode))
        action->setChecked(true);
}

void PlayerMenuBar::setNotificationsChecked(bool on)
{
    notificationsAction->setChecked(on);
}

void PlayerMenuBar::paintIcons()
{
    const QSize small = Theme::size("small");
    const auto paint = [small](QAction *action, const char *icon, const QColor &color) {
        action->setIcon(SvgIcon::coloredIcon(Theme::icon(icon), color, small));
    };
    const QColor black = Theme::color("black");
    paint(setFolderAction, "folder", black);
    paint(updateAction, "rotate-ccw", black);
    paint(quitAction, "log-out", Theme::color("red"));
    paint(showQueueAction, "list-music", black);
    paint(clearQueueAction, "trash-2", Theme::color("red"));
    paint(openSearch, "search", black);
    paint(colorMenu->menuAction(), "palette", black);
    paint(sizeMenu->menuAction(), "scaling", black);
    paint(setOrange, "filled-circle", Theme::color("orange"));
    paint(setBlue, "filled-circle", Theme::color("blue"));
    paint(setGreen, "filled-circle", Theme::color("green"));
}
