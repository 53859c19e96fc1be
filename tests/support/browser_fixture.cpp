#include "browser_fixture.h"

#include "widgets/dbgrid.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace pelldrake::test {

QString longTableName()
{
    return QStringLiteral("t") + QString(149, QLatin1Char('x'));
}

QStringList shopStatements()
{
    return {
        QStringLiteral("CREATE TABLE customers (ID INTEGER PRIMARY KEY, NAME VARCHAR(30) NOT NULL,"
                       " CITY VARCHAR(20), NOTES TEXT)"),
        QStringLiteral("CREATE INDEX ByCity ON customers (CITY, NAME)"),
        QStringLiteral("CREATE INDEX ByName ON customers (NAME)"),
        QStringLiteral("INSERT INTO customers VALUES (1, 'Kara Ng', 'Lyon', 'first note')"),
        QStringLiteral("INSERT INTO customers VALUES (2, 'O''Brien', 'Cork', 'second note')"),
        QStringLiteral("INSERT INTO customers VALUES (3, 'Karl Marx', 'Berlin', NULL)"),
        QStringLiteral("INSERT INTO customers VALUES (4, 'Bruno', 'Amsterdam', 'fourth')"),
        QStringLiteral("INSERT INTO customers VALUES (5, 'kathy', 'Lima', 'fifth')"),
        QStringLiteral("CREATE TABLE plain (A INTEGER, B VARCHAR(10), PIC BLOB)"),
        QStringLiteral("INSERT INTO plain VALUES (1, 'one', NULL)"),
        QStringLiteral("CREATE TABLE %1 (X INTEGER)").arg(longTableName()),
        QStringLiteral("INSERT INTO %1 VALUES (42)").arg(longTableName()),
    };
}

QStringList otherStatements()
{
    return {
        QStringLiteral("CREATE TABLE parts (PARTNO VARCHAR(10) NOT NULL, DESCR TEXT)"),
        QStringLiteral("INSERT INTO parts VALUES ('P1', 'bolt')"),
        QStringLiteral("CREATE TABLE odd (\"first name\" VARCHAR(20))"),
        QStringLiteral("INSERT INTO odd VALUES ('Ann Lee')"),
        QStringLiteral("INSERT INTO odd VALUES ('Bob')"),
    };
}

void BrowserTest::SetUp()
{
    ASSERT_TRUE(ts.dir().isValid());
    cwd = std::make_unique<ScopedCurrentDir>(ts.dir().path());
    ts.addSqliteAlias(QStringLiteral("Shop"), shopStatements());
    ts.addSqliteAlias(QStringLiteral("Other"), otherStatements());
    const QByteArray pgHost = qgetenv("PELLDRAKE_TEST_PG_HOST");
    const QByteArray pwUser = qgetenv("PELLDRAKE_TEST_PG_PW_USER");
    if (!pgHost.isEmpty() && !pwUser.isEmpty()) {
        engine::AliasDef pg;
        pg.name = QStringLiteral("Secure");
        pg.driver = QStringLiteral("POSTGRES");
        pg.host = QString::fromLocal8Bit(pgHost);
        pg.port = qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT");
        pg.database = qEnvironmentVariable("PELLDRAKE_TEST_PG_DB");
        pg.user = QString::fromLocal8Bit(pwUser);
        session().aliases().add(pg);
    }
    session().setLoginPrompt(&loginPrompt);
}

QVariant BrowserTest::runOnServer(const QStringList &statements)
{
    const QString name = QStringLiteral("browser_test_server");
    QVariant last;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST"));
        db.setPort(qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT"));
        db.setDatabaseName(qEnvironmentVariable("PELLDRAKE_TEST_PG_DB"));
        db.setUserName(qEnvironmentVariable("PELLDRAKE_TEST_PG_USER"));
        EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
        for (const QString &sql : statements) {
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
            if (q.next())
                last = q.value(0);
        }
    }
    QSqlDatabase::removeDatabase(name);
    return last;
}

bool BrowserTest::addServerAlias(const QString &name)
{
    if (qEnvironmentVariableIsEmpty("PELLDRAKE_TEST_PG_HOST"))
        return false;
    engine::AliasDef def;
    def.name = name;
    def.driver = QStringLiteral("POSTGRES");
    def.host = qEnvironmentVariable("PELLDRAKE_TEST_PG_HOST");
    def.port = qEnvironmentVariableIntValue("PELLDRAKE_TEST_PG_PORT");
    def.database = qEnvironmentVariable("PELLDRAKE_TEST_PG_DB");
    def.user = qEnvironmentVariable("PELLDRAKE_TEST_PG_USER");
    session().aliases().add(def);
    return true;
}

void BrowserTest::TearDown()
{
    window.reset();
    session().setLoginPrompt(nullptr);
    cwd.reset();
}

QStringList BrowserTest::messages() const
{
    QStringList out;
    for (const FakeDialogs::Call &call : fake.callsOf(FakeDialogs::Kind::Message))
        out << call.text;
    return out;
}

QStringList BrowserTest::logins() const
{
    QStringList out;
    for (const FakeDialogs::Call &call : fake.callsOf(FakeDialogs::Kind::Login))
        out << call.caption;
    return out;
}

TPelldrakeCDSForm &BrowserTest::openWindow()
{
    window = std::make_unique<TPelldrakeCDSForm>(&session());
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
}

void BrowserTest::closeWindow()
{
    window->close();
    window.reset();
}

void BrowserTest::chooseFromList(QComboBox *combo, const QString &entry)
{
    const int index = combo->findText(entry, Qt::MatchExactly);
    ASSERT_GE(index, 0) << entry.toStdString();
    combo->showPopup();
    QAbstractItemView *view = combo->view();
    const QModelIndex item = combo->model()->index(index, 0);
    view->scrollTo(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
    QApplication::processEvents(); // the list's close-up runs once the choice is in
}

void BrowserTest::typeAlias(Pane &pane, const QString &text)
{
    QLineEdit *edit = pane.aliasCombo->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

void BrowserTest::clickTable(Pane &pane, const QString &table)
{
    const QList<QListWidgetItem *> found = pane.tableList->findItems(table, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << table.toStdString();
    pane.tableList->scrollToItem(found.first());
    const QPoint at = pane.tableList->visualItemRect(found.first()).center();
    QTest::mouseClick(pane.tableList->viewport(), Qt::LeftButton, {}, at);
}

void BrowserTest::typeFilter(Pane &pane, const QString &text)
{
    pane.filterValueEdit->setFocus();
    pane.filterValueEdit->selectAll();
    QTest::keyClick(pane.filterValueEdit, Qt::Key_Delete);
    QTest::keyClicks(pane.filterValueEdit, text);
}

void BrowserTest::chooseFieldName(Pane &pane, const QString &field)
{
    chooseFromList(pane.fieldNameCombo, field);
}

QStringList BrowserTest::listItems(const QListWidget *list) const
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList BrowserTest::gridColumn(Pane &pane, const QString &field)
{
    QAbstractItemModel *model = pane.grid->model();
    QStringList out;
    if (!model)
        return out;
    int column = -1;
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == field)
            column = c;
    if (column < 0)
        return out;
    // Every record, scrolled into the grid's window one after the other.
    for (int r = 0; r < pane.grid->recordRows(); ++r)
        out << model->data(pane.grid->recordIndex(r, column)).toString();
    return out;
}

} // namespace pelldrake::test
