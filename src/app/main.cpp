#include "shell/application.h"
#include "shell/login_prompt.h"
#include "engine/session.h"
#include "browser/database_opening.h"
#include "browser/mainwindow.h"

#include <QCoreApplication>

#include <memory>

int main(int argc, char **argv)
{
    using namespace pelldrake;
    std::unique_ptr<Application> app; // outlives a start-up failure, to show it
    DialogsLoginPrompt loginPrompt;
    // Start-up runs inside one guard: whatever escapes it is shown and the
    // program ends with a failure code.
    return runProgram([&] {
        app = std::make_unique<Application>(argc, argv);
        engine::Session &session = engine::Session::defaultSession();
        // The first start creates the alias registry with the demo alias.
        session.aliases().ensureDefaults();
        session.setLoginPrompt(&loginPrompt);
        TPelldrakeCDSForm window(&session);
        window.show();
        // `pelldrake FILE` (and the desktop's "open with"): the file opens in pane 1.
        const QString file = databaseFileArgument(QCoreApplication::arguments());
        if (!file.isEmpty())
            window.openDatabaseFile(window.pane1(), file);
        const int result = app->exec();
        session.setLoginPrompt(nullptr);
        return result;
    });
}
