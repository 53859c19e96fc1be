// Opening a database file (menu, drop on a pane, command line), the alias manager and Table
// Load from File, driven through the real window with scripted dialogs.
#include "browser_fixture.h"

#include "browser/alias_manager_dialog.h"
#include "browser/database_opening.h"
#include "browser/pane_command_site.h"
#include "engine/database.h"
#include "engine/table.h"
#include "maintenance/command_frame.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

QStringList choices(const QComboBox *combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void dropFile(Pane &pane, const QString &path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = pane.frame->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.frame, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pane.frame, &drop);
}

template <typename T>
T *child(QWidget *dialog, const char *name)
{
    T *w = dialog->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

} // namespace

class DatabaseOpeningTest : public BrowserTest {
protected:
    // A SQLite file outside the registry, with one table "things".
    QString makeDatabase(const QString &relativePath)
    {
        QDir().mkpath(QFileInfo(path(relativePath)).absolutePath());
        const QString file = path(relativePath);
        TestSession::runSql(file, {QStringLiteral("CREATE TABLE things (id INTEGER PRIMARY KEY, name TEXT)"),
                                   QStringLiteral("INSERT INTO things VALUES (1, 'bolt')")});
        return file;
    }
    QString makeTextFile(const QString &name)
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("id\tname\n1\tbolt\n");
        return f.fileName();
    }
    // Only the fixture's SQLite aliases, so the lists below do not depend on a test server.
    void keepOnlySqliteAliases() { session().aliases().remove(QStringLiteral("Secure")); }
    // The registry as a later run of the program reads it.
    QStringList storedNames() { return engine::AliasRegistry(session().aliases().iniPath()).names(); }
};

TEST_F(DatabaseOpeningTest, OpenedFileGetsAUniqueAliasKeptInTheRegistryAndReusedOnReopen)
{
    TPelldrakeCDSForm &form = openWindow();
    // Its base name is taken by the fixture's alias "Shop", whatever the case.
    const QString file = makeDatabase(QStringLiteral("mine/shop.sqlite"));
    fake.answerOpen(file);
    form.action(QStringLiteral("OpenDatabaseFile1"))->trigger();

    EXPECT_EQ(form.pane1().aliasCombo->currentText(), "shop_2");
    EXPECT_TRUE(form.pane1().database->connected());
    EXPECT_EQ(listItems(form.pane1().tableList), QStringList{"things"});
    for (Pane *pane : {&form.pane1(), &form.pane2()})
        EXPECT_TRUE(choices(pane->aliasCombo).contains("shop_2"));
    const auto stored = engine::AliasRegistry(session().aliases().iniPath()).find("shop_2");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(QFileInfo(stored->path).canonicalFilePath(), QFileInfo(file).canonicalFilePath());
    EXPECT_EQ(stored->driver, "SQLITE");

    // The same file by another spelling of its path, in the other pane: the same alias. The
    // pane refuses an alias the other pane has, as choosing it would.
    const QStringList before = storedNames();
    dropFile(form.pane2(), path(QStringLiteral("mine/../mine/./shop.sqlite")));
    EXPECT_EQ(storedNames(), before);
    EXPECT_EQ(messages().last(), "Duplicate alias.");

    // Opened again where it is open: nothing changes, nothing is asked.
    fake.clear();
    EXPECT_TRUE(form.openDatabaseFile(form.pane1(), file));
    EXPECT_TRUE(fake.calls().isEmpty());
    EXPECT_EQ(storedNames(), before);
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(DatabaseOpeningTest, AFileThatIsNotSqliteIsRefusedByMenuDropAndCommandLineRegisteringNothing)
{
    TPelldrakeCDSForm &form = openWindow();
    chooseAlias(form.pane1(), "Shop");
    const QStringList before = storedNames();
    const QString text = makeTextFile(QStringLiteral("orders.sqlite"));
    QFile(path(QStringLiteral("empty.db"))).open(QIODevice::WriteOnly);
    const QString empty = path(QStringLiteral("empty.db"));

    fake.answerOpen(text);
    form.action(QStringLiteral("OpenDatabaseFile1"))->trigger();
    dropFile(form.pane2(), empty);
    EXPECT_FALSE(form.openDatabaseFile(form.pane1(), databaseFileArgument({"pelldrake", text})));
    EXPECT_FALSE(form.openDatabaseFile(form.pane1(), path(QStringLiteral("missing.sqlite"))));

    const QStringList refusals = messages();
    ASSERT_EQ(refusals.size(), 4);
    EXPECT_EQ(refusals[0], QStringLiteral("The file %1 is not a SQLite database.").arg(text));
    EXPECT_EQ(refusals[1], QStringLiteral("The file %1 is not a SQLite database.").arg(empty));
    EXPECT_EQ(refusals[2], refusals[0]);
    EXPECT_TRUE(refusals[3].contains("does not exist"));
    EXPECT_TRUE(errors().isEmpty());
    EXPECT_EQ(storedNames(), before);
    // The panes stay as they were.
    EXPECT_EQ(form.pane1().aliasCombo->currentText(), "Shop");
    EXPECT_TRUE(form.pane1().database->connected());
    EXPECT_EQ(form.pane2().aliasCombo->currentText(), QString());

    // While a command runs on a pane's table, no file replaces it.
    const QString good = makeDatabase(QStringLiteral("good.sqlite"));
    {
        PaneCommandSite site(form, form.pane1());
        maintenance::CommandFrame running(site);
        dropFile(form.pane1(), good);
    }
    EXPECT_EQ(messages().last(), maintenance::commandRunningText());
    EXPECT_EQ(storedNames(), before);
    EXPECT_EQ(form.pane1().aliasCombo->currentText(), "Shop");
}

TEST_F(DatabaseOpeningTest, DropAndCommandLineOpenTheFileAsTheMenuDoes)
{
    const QString dropped = makeDatabase(QStringLiteral("dropped.db"));
    const QString named = makeDatabase(QStringLiteral("a b/named.sqlite3"));
    keepOnlySqliteAliases();

    // Options are not files; a file URL (as some file managers pass) is read as its path.
    EXPECT_EQ(databaseFileArgument({"pelldrake"}), QString());
    EXPECT_EQ(databaseFileArgument({"pelldrake", "--reverse", named}), named);
    EXPECT_EQ(databaseFileArgument({"pelldrake", QUrl::fromLocalFile(named).toString()}), named);

    TPelldrakeCDSForm &form = openWindow();
    dropFile(form.pane2(), dropped);
    EXPECT_EQ(form.pane2().aliasCombo->currentText(), "dropped");
    EXPECT_EQ(listItems(form.pane2().tableList), QStringList{"things"});

    EXPECT_TRUE(form.openDatabaseFile(form.pane1(), databaseFileArgument({"pelldrake", named})));
    EXPECT_EQ(form.pane1().aliasCombo->currentText(), "named");
    EXPECT_EQ(listItems(form.pane1().tableList), QStringList{"things"});
    EXPECT_EQ(storedNames(), (QStringList{"dropped", "named", "Other", "Shop"}));
    for (Pane *pane : {&form.pane1(), &form.pane2()})
        EXPECT_EQ(choices(pane->aliasCombo), storedNames());
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(DatabaseOpeningTest, ManageAliasesAddsRenamesAndRemovesThroughRegistryAndChoosers)
{
    keepOnlySqliteAliases();
    TPelldrakeCDSForm &form = openWindow();
    chooseAlias(form.pane1(), "Shop");
    const QString file = makeDatabase(QStringLiteral("stock.sqlite"));
    bool ran = false;
    // The dialog is modal: it is worked while it runs, then closed.
    QTimer::singleShot(0, &form, [&] {
        auto *dialog = form.findChild<AliasManagerDialog *>();
        ASSERT_NE(dialog, nullptr);
        auto click = [&](const char *name) { child<QPushButton>(dialog, name)->click(); };
        auto allChoosersAre = [&](const QStringList &expected) {
            for (Pane *pane : {&form.pane1(), &form.pane2()})
                EXPECT_EQ(choices(pane->aliasCombo), expected);
            EXPECT_EQ(storedNames(), expected);
        };

        // A new SQLite alias, its file chosen with Browse (which proposes its name).
        click("AliasNew");
        fake.answerOpen(file);
        click("AliasBrowse");
        EXPECT_EQ(child<QLineEdit>(dialog, "AliasName")->text(), "stock");
        child<QCheckBox>(dialog, "AliasReadOnly")->setChecked(true);
        click("AliasSave");
        allChoosersAre({"Other", "Shop", "stock"});
        EXPECT_TRUE(session().aliases().find("stock")->readOnly);

        // A new PostgreSQL alias; a name taken (in another case) is refused.
        click("AliasNew");
        child<QComboBox>(dialog, "AliasDriver")->setCurrentIndex(1);
        child<QLineEdit>(dialog, "AliasName")->setText("OTHER");
        child<QLineEdit>(dialog, "AliasHost")->setText("db.example");
        child<QSpinBox>(dialog, "AliasPort")->setValue(5433);
        child<QLineEdit>(dialog, "AliasDatabase")->setText("sales");
        child<QLineEdit>(dialog, "AliasUser")->setText("clerk");
        click("AliasSave");
        EXPECT_EQ(messages().last(), "An alias named 'OTHER' exists already.");
        child<QLineEdit>(dialog, "AliasName")->setText("Sales");
        click("AliasSave");
        allChoosersAre({"Other", "Sales", "Shop", "stock"});
        const auto sales = session().aliases().find("Sales");
        ASSERT_TRUE(sales.has_value());
        EXPECT_EQ(sales->driver, "POSTGRES");
        EXPECT_EQ(sales->port, 5433);
        EXPECT_EQ(sales->user, "clerk");

        // Edited: the same alias, new settings.
        child<QSpinBox>(dialog, "AliasPort")->setValue(6000);
        click("AliasSave");
        EXPECT_EQ(session().aliases().find("Sales")->port, 6000);
        allChoosersAre({"Other", "Sales", "Shop", "stock"});

        // Renamed, then removed; a name in use is refused.
        dialog->selectAlias("stock");
        fake.answerInput(QStringLiteral("Sales"));
        click("AliasRename");
        EXPECT_TRUE(messages().last().contains("exists already"));
        fake.answerInput(QStringLiteral("Stockroom"));
        click("AliasRename");
        allChoosersAre({"Other", "Sales", "Shop", "Stockroom"});
        EXPECT_EQ(session().aliases().find("Stockroom")->path, file);
        fake.answerYesNo(true);
        click("AliasRemove");
        allChoosersAre({"Other", "Sales", "Shop"});

        // The alias pane 1 is connected to is neither renamed nor removed under it.
        dialog->selectAlias("Shop");
        click("AliasRename");
        click("AliasRemove");
        EXPECT_TRUE(messages().last().contains("'Shop' is connected"));
        allChoosersAre({"Other", "Sales", "Shop"});
        EXPECT_EQ(form.pane1().aliasCombo->currentText(), "Shop");
        ran = true;
        dialog->reject();
    });
    form.action(QStringLiteral("ManageAliases1"))->trigger();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(errors().isEmpty());
    EXPECT_FALSE(fileBytes(session().aliases().iniPath()).toUpper().contains("PASSWORD"));
}

TEST_F(DatabaseOpeningTest, TestConnectionSaysWhatFailed)
{
    engine::AliasDef def;
    def.name = QStringLiteral("x");
    def.driver = QStringLiteral("SQLITE");
    def.path = makeDatabase(QStringLiteral("good.sqlite"));
    EXPECT_EQ(aliasConnectionProblem(def), QString());
    def.path = makeTextFile(QStringLiteral("notes.db"));
    EXPECT_EQ(aliasConnectionProblem(def), QStringLiteral("The file %1 is not a SQLite database.").arg(def.path));

    // A port nothing listens on: the message names the server, port, database and user.
    engine::AliasDef pg;
    pg.name = QStringLiteral("y");
    pg.driver = QStringLiteral("POSTGRES");
    pg.host = QStringLiteral("127.0.0.1");
    pg.port = 1;
    pg.database = QStringLiteral("sales");
    pg.user = QStringLiteral("clerk");
    const QString problem = aliasConnectionProblem(pg);
    EXPECT_TRUE(problem.startsWith("Cannot connect to database sales on 127.0.0.1, port 1, as user clerk:\n"))
        << problem.toStdString();
}

TEST_F(DatabaseOpeningTest, TestConnectionAsksThePasswordForTheTestOnlyAndStoresItNowhere)
{
    const QString password = qEnvironmentVariable("PELLDRAKE_TEST_PG_PASSWORD");
    if (!session().aliases().find("Secure") || password.isEmpty())
        GTEST_SKIP() << "PELLDRAKE_TEST_PG_* not set";
    AliasManagerDialog dialog(session());
    dialog.selectAlias("Secure");
    fake.answerLogin(std::make_pair(session().aliases().find("Secure")->user, password));
    dialog.testConnection();
    EXPECT_EQ(logins(), QStringList{"Secure"});
    EXPECT_EQ(messages().last(), "Connection succeeded.");
    child<QPushButton>(&dialog, "AliasSave")->click();
    EXPECT_FALSE(fileBytes(session().aliases().iniPath()).contains(password.toUtf8()));

    // A wrong password: the server's reason, under the alias's place.
    fake.answerLogin(std::make_pair(session().aliases().find("Secure")->user, QStringLiteral("wrong")));
    dialog.testConnection();
    EXPECT_TRUE(messages().last().startsWith("Connection failed.\nCannot connect to database "));
}

TEST_F(DatabaseOpeningTest, TableLoadFromFileLoadsTheChosenFileAndTableLoadKeepsItsPath)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    const qint64 rows = p1.table->recordCount();
    ASSERT_GT(rows, 0);
    form.action(QStringLiteral("TableDump1"))->trigger();
    const QString fixed = path(QStringLiteral("Table_Dump/Shop_customers.txt"));
    ASSERT_TRUE(QFileInfo::exists(fixed));
    const QString chosen = path(QStringLiteral("elsewhere.txt"));
    ASSERT_TRUE(QFile::rename(fixed, chosen));
    TestSession::runSql(path(QStringLiteral("Shop.sqlite")), {QStringLiteral("DELETE FROM customers")});

    // Table Load still reads only its own file, which is gone.
    fake.clear();
    form.action(QStringLiteral("TableLoad1"))->trigger();
    EXPECT_TRUE(messages().value(0).startsWith("No table dump file exist for selected table."));

    // Cancelled: nothing is loaded, nothing more is said.
    fake.clear();
    form.action(QStringLiteral("TableLoadFromFile1"))->trigger();
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::Open).size(), 1);
    EXPECT_TRUE(messages().isEmpty());

    fake.answerOpen(chosen);
    fake.answerYesNo(true); // should the table still count its old records
    form.action(QStringLiteral("TableLoadFromFile1"))->trigger();
    EXPECT_EQ(p1.table->recordCount(), rows);
    EXPECT_TRUE(errors().isEmpty());

    // Without a table there is nothing to load into: no file is asked for.
    fake.clear();
    form.action(QStringLiteral("TableLoadFromFile2"))->trigger();
    EXPECT_TRUE(fake.callsOf(FakeDialogs::Kind::Open).isEmpty());
    EXPECT_EQ(messages(), QStringList{"Please select Alias."});
}
