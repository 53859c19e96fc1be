// pelldrake-db: the maintenance commands without a window (db_tool.h).
#include "db_tool/db_tool.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The program's name, so that the default alias registry is the program's own.
    QCoreApplication::setApplicationName(QStringLiteral("Pelldrake"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const int code = pelldrake::db::tool::run(QCoreApplication::arguments().mid(1), out, err);
    out.flush();
    // A report that did not reach its file (a full disk) is no success.
    if (out.status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout)) {
        err << "pelldrake-db: cannot write to standard output\n";
        err.flush();
        return 2;
    }
    err.flush();
    return code;
}
