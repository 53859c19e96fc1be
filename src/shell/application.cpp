#include "shell/application.h"

#include "engine/engine_error.h"

#include "shell/dialogs.h"
#include "shell/program_icon.h"

#include <cstdio>
#include <stdexcept>

namespace pelldrake {

Application::Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // No display name: the windowing system would append it to every window
    // and dialog title ("About - Pelldrake"). Message boxes take the name as
    // their title.
    setApplicationName(QStringLiteral("Pelldrake"));
    setApplicationVersion(QStringLiteral("2.2"));
    // Every window shows the program icon; the desktop matches the windows
    // to the installed menu entry by its name.
    setWindowIcon(programIcon());
    setDesktopFileName(QStringLiteral("example.quenfold.pelldrake"));
}

Application::~Application() = default;

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showException(std::current_exception());
    }
    return false;
}

QString Application::messageOf(std::exception_ptr error)
{
    return engine::errorMessage(error);
}

void Application::showException(std::exception_ptr error)
{
    const QString text = messageOf(error);
    // The display itself must not throw back into the event loop.
    try {
        dialogs().showError(text);
    } catch (...) {
    }
}

int runProgram(const std::function<int()> &program)
{
    try {
        return program();
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (qApp)
            Application::showException(error);
        else
            std::fprintf(stderr, "%s\n", Application::messageOf(error).toLocal8Bit().constData());
    }
    return 1;
}

} // namespace pelldrake
