#pragma once

#include <QString>

namespace pelldrake::db::tool {

// The exit codes: the work done, the work failed (or a question was answered No), or the
// command line or its input was unusable (nothing was done).
enum ExitCode { Done = 0, Failed = 1, UsageOrInput = 2 };

// Ends a command before its work: a usage error (the usage text follows its message) or an
// input error, or a failure to reach the database.
class ToolError {
public:
    enum class Kind { Usage, Input, Failed };
    ToolError(Kind kind, QString message) : kind_(kind), message_(std::move(message)) {}
    Kind kind() const { return kind_; }
    const QString &message() const { return message_; }
    int exitCode() const { return kind_ == Kind::Failed ? Failed : UsageOrInput; }

private:
    Kind kind_;
    QString message_;
};

inline ToolError usageError(QString message) { return {ToolError::Kind::Usage, std::move(message)}; }
inline ToolError inputError(QString message) { return {ToolError::Kind::Input, std::move(message)}; }

} // namespace pelldrake::db::tool
