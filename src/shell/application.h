#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace pelldrake {

// The application object. An exception must never cross Qt's event loop:
// notify() catches whatever a handler throws, shows it with the default error
// display (through the dialogs service) and lets the loop go on.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int &argc, char **argv);
    ~Application() override;

    bool notify(QObject *receiver, QEvent *event) override;

    // The text the default error display shows for a thrown object: the
    // message of an engine error or standard exception, empty otherwise.
    static QString messageOf(std::exception_ptr error);
    // Shows the current exception (call inside a catch block).
    static void showException(std::exception_ptr error);
};

// Runs the program: `program` starts it up, runs the event loop and returns
// the loop's result, which becomes the exit code. A failure that escapes it
// is shown (on the error stream while there is no application object to show
// it with) and gives exit code 1.
int runProgram(const std::function<int()> &program);

} // namespace pelldrake
