#pragma once

#include "engine/login_prompt.h"

namespace pelldrake {

// The engine's login prompt, answered through the dialogs service.
class DialogsLoginPrompt : public engine::LoginPrompt {
public:
    bool askLogin(const QString &alias, QString &user, QString &password) override;
};

} // namespace pelldrake
