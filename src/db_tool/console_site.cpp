#include "db_tool/console_site.h"

#include "db_tool/tool_error.h"

#include <QTextStream>

namespace pelldrake::db::tool {

ConsoleSite::ConsoleSite(engine::Table &table, QString aliasName, QString tableName, bool answerYes)
    : table_(table), alias_(std::move(aliasName)), tableName_(std::move(tableName)), answerYes_(answerYes)
{
}

bool ConsoleSite::askYesNo(const QString &text, const QString &)
{
    if (answerYes_)
        return true;
    declined_ << text;
    return false;
}

void ConsoleSite::report(maintenance::CommandResult result, QTextStream &out, QTextStream &err) const
{
    const bool done = result == maintenance::CommandResult::Done;
    for (const Said &s : said_) {
        if (done && !s.error)
            out << s.text << '\n';
        else
            printError(err, s.text);
    }
    if (!done)
        for (const QString &question : declined_)
            printError(err, QStringLiteral("answered No to \"%1\" (--yes answers Yes)").arg(question));
}

int exitCode(maintenance::CommandResult result)
{
    switch (result) {
    case maintenance::CommandResult::Done:
        return Done;
    case maintenance::CommandResult::BadInput:
        return UsageOrInput;
    case maintenance::CommandResult::Declined:
    case maintenance::CommandResult::Failed:
    case maintenance::CommandResult::Stopped:
        break;
    }
    return Failed;
}

void printError(QTextStream &err, const QString &text)
{
    err << "pelldrake-db: " << text << '\n';
}

} // namespace pelldrake::db::tool
