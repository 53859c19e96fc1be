#pragma once

#include "fake_dialogs.h"
#include "qt_printers.h"
#include "temp_dirs.h"
#include "test_session.h"

#include "engine/alias_registry.h"
#include "engine/session.h"
#include "shell/login_prompt.h"
#include "browser/mainwindow.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QListWidget>

#include <memory>

namespace pelldrake::test {

// A name longer than a 127-character line, as a schema-qualified PostgreSQL
// name can be; it has to survive the configuration file.
QString longTableName();

// The statements of the test databases: "Shop" has "customers" (indexes ByCity
// on CITY;NAME and ByName, a memo NOTES), "plain" (no index, no memo, a blob)
// and a table with a long name; "Other" has "parts" and "odd" (a field name with a blank).
QStringList shopStatements();
QStringList otherStatements();

// Every test gets its own directory (also the start directory), alias registry
// ("Shop", "Other"), session and main window; dialogs are scripted.
class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Registers the test PostgreSQL server as an alias (user without
    // password); false when no server is configured.
    bool addServerAlias(const QString &name);
    // Runs statements on a connection of the test's own to the test server, beside the
    // program's; the first value of the last statement that returned a row.
    QVariant runOnServer(const QStringList &statements);
    // Creates the main window, which replays the configuration files of the start directory.
    TPelldrakeCDSForm &openWindow();
    // Closes the window as the user would, which writes the configuration files.
    void closeWindow();

    // What a user does: choose an entry from a chooser's list, type text, click a table.
    void chooseFromList(QComboBox *combo, const QString &entry);
    void chooseAlias(Pane &pane, const QString &alias) { chooseFromList(pane.aliasCombo, alias); }
    void typeAlias(Pane &pane, const QString &text);
    void clickTable(Pane &pane, const QString &table);
    void typeFilter(Pane &pane, const QString &text);
    void chooseFieldName(Pane &pane, const QString &field);
    QStringList listItems(const QListWidget *list) const;
    QStringList gridColumn(Pane &pane, const QString &field);

    // Texts of the information messages, errors, and the aliases a login was asked for.
    QStringList messages() const;
    QStringList errors() const { return fake.errors(); }
    QStringList logins() const;

    QString path(const QString &name) { return ts.dir().filePath(name); }
    engine::Session &session() { return ts.session(); }

    FakeDialogs fake;
    TestSession ts;
    DialogsLoginPrompt loginPrompt;
    std::unique_ptr<ScopedCurrentDir> cwd;
    std::unique_ptr<TPelldrakeCDSForm> window;
};

} // namespace pelldrake::test
