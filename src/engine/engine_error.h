#pragma once

#include <QString>
#include <exception>
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

// The text the user is shown for a thrown object: the message of an engine error or standard
// exception (UTF-8), empty for anything else.
QString errorMessage(std::exception_ptr error);

} // namespace pelldrake::engine
