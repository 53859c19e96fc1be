#include "shell/login_prompt.h"

#include "shell/dialogs.h"

namespace pelldrake {

bool DialogsLoginPrompt::askLogin(const QString &alias, QString &user, QString &password)
{
    return dialogs().askLogin(alias, user, password);
}

} // namespace pelldrake
