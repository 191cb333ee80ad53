#include "app/DesktopApp.h"
#include "app/PlayerCore.h"
#include "library/FileResolver.h"
#include "ui/PlayerWindow.h"
#ifdef CORVEL_HAS_DBUS
#include "desktop/MprisService.h"
#endif

#include <QApplication>
#include <QDir>

#include <cstdlib>

#ifdef CORVEL_HAS_DBUS
namespace {

// One player at a time: a running one takes the files named (or only comes
// to the front when none were) and this start ends with the status returned.
std::optional<int> handOver(const FileResolver::Result &request)
{
    if (request.files.isEmpty() && !request.problems.isEmpty()) {
        // Nothing to hand over: a running player is left as it is.
        if (!MprisService::isPlayerRunning())
            return std::nullopt;
        DesktopApp::printProblems(request.problems);
        return EXIT_FAILURE;
    }
    if (!MprisService::openInRunningPlayer(request.files))
        return std::nullopt;
    DesktopApp::printProblems(request.problems);
    return EXIT_SUCCESS;
}

} // namespace
#endif

// The program's entry: the command line first (--help, --version, files),
// then the core, one window on it and one event loop. The window is destroyed
// before the core, and both before the application object.
int qMain(int argc, char **argv)
{
    QApplication app(argc, argv);
    DesktopApp::identify(app);
    QStringList arguments;
    if (const std::optional<int> status = DesktopApp::handleCommandLine(app, &arguments))
        return *status;
    // Found here, against the directory this process was started in, whichever player plays them.
    const FileResolver::Result request = FileResolver::resolve(arguments, QDir::currentPath());
#ifdef CORVEL_HAS_DBUS
    if (const std::optional<int> status = handOver(request))
        return *status;
#endif
    int result = 0;
    {
        PlayerCore core(PlayerCore::DesktopBus::Session);
        PlayerWindow window(&core);
        // Once the window is connected: it hears everything the start changes.
        core.start();
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
