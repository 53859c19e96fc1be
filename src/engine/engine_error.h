#pragma once

#include <QString>
#include <stdexcept>

namespace pelldrake::engine {

// Every failing engine operation throws this, carrying a message meant for the user.
class EngineError : public std::runtime_error {
public:
    explicit EngineError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

} // namespace pelldrake::engine
