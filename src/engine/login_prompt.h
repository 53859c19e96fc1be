#pragma once

#include <QString>

namespace pelldrake::engine {

// Asks the user for a login. The GUI installs one backed by its dialogs; the engine
// itself never shows a widget.
class LoginPrompt {
public:
    virtual ~LoginPrompt() = default;
    // `user` arrives pre-filled with the alias's user; returns false when the user cancels.
    virtual bool askLogin(const QString &alias, QString &user, QString &password) = 0;
};

} // namespace pelldrake::engine
