#include "DesktopApp.h"
#include "PlayerWindow.h"

#include <QApplication>

// The program's entry: the command line first (--help, --version), then one
// window and one event loop. The window is destroyed before the application
// object.
int qMain(int argc, char **argv)
{
    QApplication app(argc, argv);
    DesktopApp::identify(app);
    if (const std::optional<int> status = DesktopApp::handleCommandLine(app))
        return *status;
    int result = 0;
    {
        PlayerWindow window;
        window.show();
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
