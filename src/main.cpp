#include "PlayerWindow.h"

#include <QApplication>

// The program's entry: one window, one event loop. The window is destroyed
// before the application object.
int qMain(int argc, char **argv)
{
    QApplication app(argc, argv);
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
