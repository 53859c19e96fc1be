#pragma once

#include "browser_fixture.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pelldrake::test {

// The main window over the alias "Maint" (besides the browser tests' "Shop"
// and "Other"), with helpers to run menu entries and to look at the database
// behind the engine's back.
class MaintenanceTest : public BrowserTest {
protected:
    void SetUp() override;

    // Opens the window when needed, chooses the alias in the pane and clicks the table.
    Pane &openTable(int paneNumber, const QString &alias, const QString &table);
    // Chooses a menu or pop-up entry by its component name.
    void choose(const char *entryName);
    // Rows of a query on the "Maint" database, each row's values joined by "|"
    // (NULL for null).
    QStringList rows(const QString &sql);
    void exec(const QStringList &statements);

    QString maintPath;
};

QByteArray readAll(const QString &path);
QString dumpPath(const QString &file); // Table_Dump/<file> below the current directory
// Writes a dump file by hand: Table_Dump/<file> below the current directory.
void writeDump(const QString &file, const QByteArray &bytes);

} // namespace pelldrake::test
