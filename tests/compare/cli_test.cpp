#include "db_tool/db_tool.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <gtest/gtest.h>

namespace pelldrake::db::tool {
namespace {

class CompareCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        make(QStringLiteral("a.sqlite"), {QStringLiteral("(1, 'x')"), QStringLiteral("(2, 'y')")});
        make(QStringLiteral("b.sqlite"), {QStringLiteral("(1, 'x')"), QStringLiteral("(2, 'z')"), QStringLiteral("(3, 'w')")});
        make(QStringLiteral("c.sqlite"), {QStringLiteral("(1, 'x')"), QStringLiteral("(2, 'y')")});
    }
    void make(const QString &file, const QStringList &rows)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("cli_make"));
            db.setDatabaseName(dir.filePath(file));
            ASSERT_TRUE(db.open());
            QSqlQuery q(db);
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)")));
            ASSERT_TRUE(q.exec(QStringLiteral("INSERT INTO t VALUES ") + rows.join(QStringLiteral(", "))));
            ASSERT_TRUE(q.exec(QStringLiteral("CREATE TABLE other (z INTEGER)")));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("cli_make"));
    }
    QString source(const char *file) { return QStringLiteral("sqlite:") + dir.filePath(QLatin1String(file)); }
    int run(QStringList args)
    {
        out.clear();
        err.clear();
        QTextStream o(&out), e(&err);
        args.prepend(QStringLiteral("compare"));
        args << QStringLiteral("--aliases") << dir.filePath(QStringLiteral("aliases.ini"));
        const int code = tool::run(args, o, e);
        o.flush();
        e.flush();
        return code;
    }

    QTemporaryDir dir;
    QString out, err;
};

TEST_F(CompareCommand, ExitCodesAreDiffs)
{
    EXPECT_EQ(run({source("a.sqlite"), QStringLiteral("t"), source("c.sqlite"), QStringLiteral("t")}), 0) << err.toStdString();
    EXPECT_EQ(run({source("a.sqlite"), QStringLiteral("t"), source("b.sqlite"), QStringLiteral("t")}), 1) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("only left: 0, only right: 1, changed: 1, unchanged: 1"))) << out.toStdString();
    EXPECT_EQ(run({source("a.sqlite"), QStringLiteral("t"), source("b.sqlite"), QStringLiteral("missing")}), 2);
    EXPECT_EQ(run({source("a.sqlite"), QStringLiteral("t"), source("b.sqlite"), QStringLiteral("other")}), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("no column in common"))) << err.toStdString();
    EXPECT_EQ(run({source("a.sqlite"), QStringLiteral("t"), source("b.sqlite"), QStringLiteral("t"), QStringLiteral("--key"), QStringLiteral("nope")}), 2);
    EXPECT_EQ(run({source("a.sqlite"), QStringLiteral("t"), source("b.sqlite"), QStringLiteral("t"), QStringLiteral("--structure-only"),
                   QStringLiteral("--data-only")}),
              2);
}

TEST_F(CompareCommand, JsonAndScript)
{
    const QString script = dir.filePath(QStringLiteral("sync.sql"));
    EXPECT_EQ(run({source("a.sqlite"), QStringLiteral("t"), source("b.sqlite"), QStringLiteral("t"), QStringLiteral("--json"),
                   QStringLiteral("--limit"), QStringLiteral("1"), QStringLiteral("--sql"), script}),
              1);
    const QJsonObject doc = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(doc[QStringLiteral("counts")][QStringLiteral("changed")].toInt(), 1);
    EXPECT_EQ(doc[QStringLiteral("counts")][QStringLiteral("only_right")].toInt(), 1);
    EXPECT_EQ(doc[QStringLiteral("rows")].toArray().size(), 1);
    EXPECT_EQ(doc[QStringLiteral("rows_left_off")].toInt(), 1);
    const QJsonObject first = doc[QStringLiteral("rows")].toArray().at(0).toObject();
    EXPECT_EQ(first[QStringLiteral("key")][QStringLiteral("id")].toInt(), 2);
    EXPECT_EQ(first[QStringLiteral("cells")][QStringLiteral("v")][QStringLiteral("right")].toString(), QStringLiteral("z"));
    QFile file(script);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("DELETE FROM \"main\".\"t\" WHERE \"id\" = 3;"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("UPDATE \"main\".\"t\" SET \"v\" = 'y' WHERE \"id\" = 2;"))) << text.toStdString();
    EXPECT_TRUE(text.startsWith(QStringLiteral("-- ")) && text.endsWith(QStringLiteral("COMMIT;\n")));
}

} // namespace
} // namespace pelldrake::db::tool
