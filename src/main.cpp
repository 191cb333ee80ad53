#include "app/DesktopApp.h"
#include "app/PlayerCore.h"
#include "library/FileResolver.h"
#include "ui/PlayerWindow.h"
#ifdef CORVEL_HAS_DBUS
#include "desktop/SingleInstance.h"
#endif

#include <QApplication>
#include <QDir>

#include <cstdlib>

#ifdef CORVEL_HAS_DBUS
namespace {

// A start that found the bus name taken hands the files named to the player
// that holds it (or only brings it to the front when none were) and ends with
// the status returned. Never a second window while a player holds the name.
std::optional<int> handOver(SingleInstance &instance, const FileResolver::Result &request)
{
    if (request.files.isEmpty() && !request.problems.isEmpty()) {
        // Nothing to hand over: the running player is left as it is.
        DesktopApp::printProblems(request.problems);
        return EXIT_FAILURE;
    }
    switch (instance.handOver(request.files)) {
    case SingleInstance::HandOver::Claimed:
        return std::nullopt;
    case SingleInstance::HandOver::NoAnswer:
        DesktopApp::printProblems(request.problems + QStringList{SingleInstance::noAnswerText()});
        return EXIT_FAILURE;
    case SingleInstance::HandOver::Done:
        break;
    }
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
#ifdef CORVEL_HAS_DBUS
    // The bus name first, before a folder named is walked and the window
    // built: a second start a moment later finds it taken. Held to the end.
    SingleInstance instance;
    const SingleInstance::Claim claim = instance.claim();
#endif
    // Found here, against the directory this process was started in, whichever player plays them.
    const FileResolver::Result request = FileResolver::resolve(arguments, QDir::currentPath());
#ifdef CORVEL_HAS_DBUS
    if (claim == SingleInstance::Claim::Taken) {
        if (const std::optional<int> status = handOver(instance, request))
            return *status;
    }
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
