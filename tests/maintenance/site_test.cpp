// The maintenance commands with no window: a QCoreApplication, a SQLite table
// and a site that records what the user would be told and answers from a
// script. This executable links no widgets, so a command that needed one would
// not even link.
#include "maintenance/command_frame.h"
#include "maintenance/command_site.h"
#include "maintenance/maintenance.h"

#include "engine/engine.h"

#include "file_bytes.h"
#include "stop_on_fatal_failure.h"
#include "temp_dirs.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

using namespace pelldrake;
using namespace pelldrake::maintenance;
using pelldrake::test::fileBytes;

namespace pelldrake::maintenance {
void PrintTo(CommandResult r, std::ostream *os)
{
    const char *names[] = {"Done", "Declined", "BadInput", "Failed"};
    *os << names[int(r)];
}
} // namespace pelldrake::maintenance

namespace {

// A site without controls: what the user is shown is kept, questions get the
// scripted answer, and the lock is a depth that must come back to zero.
class FakeSite : public CommandSite {
public:
    FakeSite(engine::Table &table, const QString &selected) : table_(table), tableName(selected) {}

    engine::Table &table() override { return table_; }
    QString aliasName() const override { return alias; }
    QString selectedTableName() const override { return tableName; }
    QString chosenFieldName() const override { return fieldName; }
    void clearChosenField() override { fieldName.clear(); }

    void showMessage(const QString &text) override { messages << text; }
    void showNotice(const QString &text) override { notices << text; }
    void showError(const QString &text) override
    {
        errors << text;
        lockedWhenErrorShown = locks > 0;
    }
    bool askYesNo(const QString &text, const QString &) override
    {
        questions << text;
        if (duringQuestion)
            duringQuestion();
        return yes;
    }
    QString inputBox(const QString &, const QString &, const QString &defaultText) override
    {
        return input ? *input : defaultText;
    }

    void clearFilterBox() override { ++filterBoxCleared; }
    void postPendingEdit() override { ++editsPosted; }
    void showRecordCounts() override { shownCount = table_.recordCount(); }
    void showRecordCount(std::optional<qint64> count) noexcept override { shownCount = count; }
    void showCurrentRecord(qint64 number) override { currentRecord = number; }

    void lockPaneControls(bool) override { ++locks; }
    void lockCommandControls() override { ++locks; }
    void unlockControls() noexcept override { locks = 0; }
    void processEvents() override { QCoreApplication::processEvents(); }
    bool reportProgress(qint64 done, qint64 total, ProgressUnit unit) override
    {
        progress.append({done, total, unit});
        return !stopAfter || progress.size() < *stopAfter;
    }

    engine::Table &table_;
    QString alias = QStringLiteral("Site");
    QString tableName;
    QString fieldName;
    bool yes = true;
    std::optional<QString> input;
    std::function<void()> duringQuestion;

    QStringList messages, notices, errors, questions;
    bool lockedWhenErrorShown = false;
    int locks = 0;
    int filterBoxCleared = 0;
    int editsPosted = 0;
    std::optional<qint64> shownCount;
    qint64 currentRecord = -1;
    struct Reported {
        qint64 done, total;
        ProgressUnit unit;
    };
    QList<Reported> progress;
    std::optional<qsizetype> stopAfter; // the user asks to stop at this report
};

class SiteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        cwd = std::make_unique<test::ScopedCurrentDir>(dir.path());
        session = std::make_unique<engine::Session>(QStringLiteral("Headless"), dir.filePath(QStringLiteral("aliases.ini")));
        engine::AliasDef def;
        def.name = QStringLiteral("Site");
        def.driver = QStringLiteral("SQLITE");
        def.path = dir.filePath(QStringLiteral("site.sqlite"));
        QFile file(def.path); // an empty file is an empty SQLite database
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        session->aliases().add(def);
        db = std::make_unique<engine::Database>(*session);
        db->setDatabaseName(QStringLiteral("Site"));
        db->open();
        exec({QStringLiteral("CREATE TABLE people (NAME VARCHAR(30), QTY INTEGER, NOTE TEXT)"),
              QStringLiteral("INSERT INTO people VALUES ('Ann', 2, 'line one\nline two\tand a tab'),"
                             " ('Bob', NULL, NULL), ('\u00c7elik', 5, '')"),
              QStringLiteral("CREATE TABLE copy (NAME VARCHAR(30), QTY INTEGER, NOTE TEXT)"),
              QStringLiteral("CREATE TABLE keys (ID INTEGER PRIMARY KEY, K VARCHAR(20), SHORT VARCHAR(15))"),
              QStringLiteral("INSERT INTO keys (ID, K) VALUES (1, 'x1'), (2, ''), (3, NULL), (4, '')"),
              QStringLiteral("CREATE TABLE emptyt (A VARCHAR(10))")});
    }
    void TearDown() override
    {
        tables.clear();
        db.reset();
        session.reset();
        cwd.reset();
    }

    engine::Table &open(const QString &name)
    {
        auto table = std::make_unique<engine::Table>(*session);
        table->setDatabaseName(QStringLiteral("Site"));
        table->setTableName(name);
        table->open();
        tables.push_back(std::move(table));
        return *tables.back();
    }
    void exec(const QStringList &statements)
    {
        QSqlQuery q(db->sqlDatabase());
        for (const QString &sql : statements)
            ASSERT_TRUE(q.exec(sql)) << sql.toStdString();
    }
    // A query's rows, each row's values joined by "|" (NULL for null).
    QStringList rows(const QString &sql)
    {
        QStringList out;
        QSqlQuery q(db->sqlDatabase());
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < q.record().count(); ++i)
                values << (q.isNull(i) ? QStringLiteral("NULL") : q.value(i).toString());
            out << values.join(QLatin1Char('|'));
        }
        return out;
    }

    test::TempDir dir;
    std::unique_ptr<test::ScopedCurrentDir> cwd;
    std::unique_ptr<engine::Session> session;
    std::unique_ptr<engine::Database> db;
    std::vector<std::unique_ptr<engine::Table>> tables;
};

const QString kAllPeople = QStringLiteral("SELECT NAME, QTY, NOTE FROM %1 ORDER BY NAME");

TEST_F(SiteTest, DumpDeleteAllAndLoadRoundTripWithoutAWindow)
{
    const QStringList original = rows(kAllPeople.arg(QStringLiteral("people")));
    FakeSite site(open(QStringLiteral("people")), QStringLiteral("people"));

    EXPECT_EQ(tableDump(site), CommandResult::Done);
    EXPECT_TRUE(fileBytes(QStringLiteral("Table_Dump/Site_people.txt")).startsWith("<<RECORD\r\nNAME=Ann\r\n"));
    EXPECT_EQ(deleteAllRecords(site), CommandResult::Done);
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people")), QStringList{QStringLiteral("0")});
    EXPECT_EQ(site.shownCount, 0);
    EXPECT_EQ(tableLoad(site), CommandResult::Done);
    EXPECT_EQ(rows(kAllPeople.arg(QStringLiteral("people"))), original);

    EXPECT_EQ(site.questions,
              QStringList{QStringLiteral("Delete All Records?\nTable people: 3 records will be deleted.")});
    EXPECT_EQ(site.messages, QStringList{QStringLiteral("3 records loaded.")});
    EXPECT_TRUE(site.errors.isEmpty()) << site.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(site.shownCount, 3);
    EXPECT_EQ(site.locks, 0);
    EXPECT_EQ(site.filterBoxCleared, 2); // the dump and the load cover the whole table

    // A path given by the caller replaces the command's own file, for the dump and the load.
    const QString path = dir.filePath(QStringLiteral("elsewhere.dump"));
    EXPECT_EQ(tableDump(site, path), CommandResult::Done);
    FakeSite copy(open(QStringLiteral("copy")), QStringLiteral("copy"));
    EXPECT_EQ(tableLoad(copy, path), CommandResult::Done);
    EXPECT_EQ(rows(kAllPeople.arg(QStringLiteral("copy"))), original);
    EXPECT_EQ(fileBytes(path), fileBytes(QStringLiteral("Table_Dump/Site_people.txt")));
}

TEST_F(SiteTest, ExportAndKeyFillsShowTheirProgressOnTheSite)
{
    FakeSite people(open(QStringLiteral("people")), QStringLiteral("people"));
    const QString path = dir.filePath(QStringLiteral("people.tsv"));
    EXPECT_EQ(exportTabDelimited(people, path), CommandResult::Done);
    EXPECT_TRUE(fileBytes(path).startsWith("NAME\tQTY\tNOTE\r\nAnn\t2\t"));
    EXPECT_EQ(people.editsPosted, 1);
    EXPECT_EQ(people.currentRecord, 2);
    EXPECT_EQ(people.messages, QStringList{QStringLiteral("Tab delimited file has been created.")});

    const QString done = QStringLiteral("Unique string key values have been loaded.");
    FakeSite keys(open(QStringLiteral("keys")), QStringLiteral("keys"));
    keys.fieldName = QStringLiteral("K");
    keys.input = QStringLiteral("2");
    EXPECT_EQ(fillEmptyWithUniqueKeys(keys), CommandResult::Done);
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM keys WHERE K IS NULL OR K = ''")), QStringList{QStringLiteral("1")});
    EXPECT_EQ(keys.currentRecord, 2);
    EXPECT_EQ(keys.shownCount, 4);
    EXPECT_TRUE(keys.fieldName.isEmpty()); // the field name box is emptied after a fill

    keys.fieldName = QStringLiteral("K");
    EXPECT_EQ(fillAllWithUniqueKeys(keys), CommandResult::Done);
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(DISTINCT K), MIN(LENGTH(K)) FROM keys")),
              QStringList{QStringLiteral("4|17")});
    // The closing messages add how many records were changed.
    EXPECT_EQ(keys.messages, (QStringList{done + QStringLiteral("\n2 records changed."),
                                          done + QStringLiteral("\n4 records changed.")}));
    keys.messages.clear();
    keys.fieldName = QStringLiteral("K");
    keys.input = QStringLiteral("0");
    EXPECT_EQ(fillEmptyWithUniqueKeys(keys), CommandResult::Done);
    EXPECT_EQ(keys.messages, QStringList{done + QStringLiteral("\nA maximum of 0 changes nothing: no record was changed.")});
    EXPECT_EQ(keys.locks, 0);
}

// The user stops each long command at once: what was committed stays and the message says how
// much was done; a file is all or nothing.
TEST_F(SiteTest, AStopKeepsWhatWasCommittedAndSaysHowMuch)
{
    exec({QStringLiteral("CREATE TABLE many (ID INTEGER PRIMARY KEY, K VARCHAR(30))"),
          QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1200) "
                         "INSERT INTO many (ID) SELECT i FROM n")});
    FakeSite site(open(QStringLiteral("many")), QStringLiteral("many"));
    ASSERT_EQ(tableDump(site), CommandResult::Done);
    site.stopAfter = 1;
    const QString dump = dir.filePath(QStringLiteral("stopped.txt"));
    EXPECT_EQ(tableDump(site, dump), CommandResult::Stopped);
    EXPECT_FALSE(QFile::exists(dump));
    EXPECT_EQ(site.messages.last(), QStringLiteral("Stopped by the user after 0 of 1,200 records.\nThe dump file was not written."));
    ASSERT_FALSE(site.progress.isEmpty());
    EXPECT_EQ(site.progress.last().total, 1200);

    // Delete All goes a batch of records at a time: the first batch is deleted and committed.
    site.progress.clear();
    EXPECT_EQ(deleteAllRecords(site), CommandResult::Stopped);
    const QStringList left = rows(QStringLiteral("SELECT COUNT(*) FROM many"));
    ASSERT_EQ(left.size(), 1);
    const qint64 deleted = 1200 - left[0].toLongLong();
    EXPECT_GT(deleted, 0);
    EXPECT_LT(deleted, 1200);
    EXPECT_EQ(site.messages.last(), QStringLiteral("Stopped by the user after %L1 of 1,200 records.\n"
                                                   "Those records are deleted; the others are kept.").arg(deleted));
    EXPECT_EQ(site.shownCount, 1200 - deleted);
    EXPECT_EQ(site.locks, 0);

    // The load stops before the next record: none was added yet.
    site.progress.clear();
    site.yes = true;
    EXPECT_EQ(tableLoad(site), CommandResult::Stopped);
    EXPECT_EQ(site.messages.last(), QStringLiteral("Stopped by the user: 0 records loaded; the records from line 1 of the file on "
                                                   "were not loaded."));
    EXPECT_EQ(site.progress.last().unit, CommandSite::ProgressUnit::Bytes);
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM many")), QStringList{QString::number(1200 - deleted)});

    site.progress.clear();
    site.fieldName = QStringLiteral("K");
    EXPECT_EQ(fillAllWithUniqueKeys(site), CommandResult::Stopped);
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(K) FROM many")), QStringList{QStringLiteral("0")});
    EXPECT_TRUE(site.messages.last().startsWith(QStringLiteral("Stopped by the user after 0 of ")));
    EXPECT_TRUE(site.errors.isEmpty()) << site.errors.join(QLatin1Char('\n')).toStdString();
}

TEST_F(SiteTest, EarlyReturnsSayWhyNothingWasDone)
{
    engine::Table &people = open(QStringLiteral("people"));
    struct Case {
        const char *what;
        std::function<void(FakeSite &)> setUp;
        std::function<CommandResult(FakeSite &)> command;
        CommandResult expected;
        QString message; // the one message the user is shown, as a prefix
    };
    const auto dump = [](FakeSite &s) { return tableDump(s); };
    const auto load = [](FakeSite &s) { return tableLoad(s); };
    const auto noAnswer = [](FakeSite &s) { s.yes = false; };
    const QString noColumn = QStringLiteral("Please select (String) field that is at least 20 char for fill value.");
    const QList<Case> cases = {
        {"load without alias", [](FakeSite &s) { s.alias.clear(); }, load, CommandResult::BadInput,
         QStringLiteral("Please select Alias.")},
        {"load without table", [](FakeSite &s) { s.tableName.clear(); }, load, CommandResult::BadInput,
         QStringLiteral("Please select Table.")},
        {"load without dump file", {}, load, CommandResult::BadInput,
         QStringLiteral("No table dump file exist for selected table.\n")},
        {"append answered No", [](FakeSite &s) {
             s.yes = false;
             tableDump(s);
         }, load, CommandResult::Declined, QString()},
        {"overwrite answered No", noAnswer, dump, CommandResult::Declined, QString()},
        {"delete answered No", noAnswer, deleteAllRecords, CommandResult::Declined, QString()},
        {"bad number", [](FakeSite &s) { s.input = QStringLiteral("many"); }, fillEmptyWithUniqueKeys,
         CommandResult::BadInput, QStringLiteral("Error occurred, please re-enter value.")},
        {"no field", {}, fillAllWithUniqueKeys, CommandResult::BadInput, noColumn},
        {"field not a long string", [](FakeSite &s) { s.fieldName = QStringLiteral("QTY"); }, fillAllWithUniqueKeys,
         CommandResult::BadInput,
         QStringLiteral("The field is not long enought to hold UNIQUE DataTime value as string (20 char).")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FakeSite site(people, QStringLiteral("people"));
        if (c.setUp)
            c.setUp(site);
        site.messages.clear();
        EXPECT_EQ(c.command(site), c.expected);
        EXPECT_TRUE(site.errors.isEmpty());
        if (c.message.isNull()) {
            EXPECT_TRUE(site.messages.isEmpty()) << site.messages.join(QLatin1Char('\n')).toStdString();
        } else {
            ASSERT_EQ(site.messages.size(), 1);
            EXPECT_TRUE(site.messages[0].startsWith(c.message)) << site.messages[0].toStdString();
        }
        EXPECT_EQ(site.locks, 0);
        EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people")), QStringList{QStringLiteral("3")});
    }

    FakeSite empty(open(QStringLiteral("emptyt")), QStringLiteral("emptyt"));
    EXPECT_EQ(tableDump(empty), CommandResult::Declined);
    EXPECT_EQ(empty.messages, QStringList{QStringLiteral("NO data to export.")});
}

TEST_F(SiteTest, FailuresAreShownAsTheDefaultErrorDisplayShowsThemOnceUnlocked)
{
    engine::Table &people = open(QStringLiteral("people"));
    FakeSite site(people, QStringLiteral("people"));

    // An engine error: its own message, word for word.
    site.fieldName = QStringLiteral("NOPE");
    QString engineText;
    try {
        people.fieldByName(site.fieldName);
    } catch (const engine::EngineError &e) {
        engineText = e.message();
    }
    EXPECT_EQ(fillAllWithUniqueKeys(site), CommandResult::Failed);
    EXPECT_EQ(site.errors, QStringList{engineText});

    // The text reaches the site after everything was unlocked, as UTF-8; anything that is not an
    // exception of the standard library has no text.
    const QString lost = QStringLiteral("the connection to 'S\u00fcd' was lost; nothing of the transaction is stored");
    site.errors.clear();
    EXPECT_EQ(runCommand(site, [&](CommandFrame &frame) -> CommandResult {
                  frame.lockPaneControls();
                  throw engine::EngineError(lost);
              }),
              CommandResult::Failed);
    EXPECT_FALSE(site.lockedWhenErrorShown);
    EXPECT_EQ(runCommand(site, [](CommandFrame &) -> CommandResult { throw 42; }), CommandResult::Failed);
    EXPECT_EQ(site.errors, (QStringList{lost, QString()}));
    EXPECT_EQ(CommandFrame::current(), nullptr);

    // A file that cannot be made is an error shown, not a message.
    site.errors.clear();
    EXPECT_EQ(exportTabDelimited(site, dir.filePath(QStringLiteral("no/such/folder/people.txt"))),
              CommandResult::Failed);
    ASSERT_EQ(site.errors.size(), 1);
    EXPECT_TRUE(site.errors[0].startsWith(QStringLiteral("Cannot create the file "))) << site.errors[0].toStdString();

    // While a command runs, a second one and closing are refused on the site.
    site.messages.clear();
    site.yes = false;
    CommandResult second = CommandResult::Done;
    bool closeRefused = false;
    site.duringQuestion = [&] {
        second = tableDump(site);
        closeRefused = refuseClose();
    };
    EXPECT_EQ(deleteAllRecords(site), CommandResult::Declined);
    EXPECT_EQ(second, CommandResult::Declined);
    EXPECT_TRUE(closeRefused);
    // Both are notices: the running command does not wait for the user to read them.
    EXPECT_EQ(site.notices, (QStringList{commandRunningText(), closeRefusedText()}));
    EXPECT_TRUE(site.messages.isEmpty());
    EXPECT_FALSE(refuseClose());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    pelldrake::test::StopOnFatalFailure::install();
    return RUN_ALL_TESTS();
}
