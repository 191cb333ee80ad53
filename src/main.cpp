#include "DesktopApp.h"
#include "FileResolver.h"
#include "PlayerController.h"
#include "PlayerWindow.h"
#ifdef CORVEL_HAS_DBUS
#include "MprisService.h"
#endif

#include <QApplication>
#include <QDir>

// The program's entry: the command line first (--help, --version, files),
// then one window and one event loop. The window is destroyed before the
// application object.
int qMain(int argc, char **argv)
{
    QApplication app(argc, argv);
    DesktopApp::identify(app);
    QStringList arguments;
    if (const std::optional<int> status = DesktopApp::handleCommandLine(app, &arguments))
        return *status;
    const FileResolver::Result request = FileResolver::resolve(arguments, QDir::currentPath());
#ifdef CORVEL_HAS_DBUS
    // One player at a time: a running one comes to the front instead.
    if (MprisService::raiseRunningPlayer())
        return 0;
#endif
    int result = 0;
    {
        PlayerWindow window;
#ifdef CORVEL_HAS_DBUS
        // The bus drives the transport; of the window it asks only these two.
        auto *bus = new MprisService(window.controller());
        QObject::connect(bus, &MprisService::raiseRequested, &window, &PlayerWindow::raiseWindow);
        QObject::connect(bus, &MprisService::quitRequested, &window, &PlayerWindow::quit);
#endif
        window.show();
        // After the settings were read: the files named replace the restored track.
        window.openFiles(request);
        result = app.exec();
    }
    return result;
}

// The platform entry only forwards to qMain (on Windows Qt's entry-point
// library calls main from WinMain).
int main(int argc, char **argv)
{
    return qMain(argc, argv);
}
