// The item model over a table: lazy rows, headers, edits through the cursor, controls lock.
#include "engine_fixture.h"

#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>

namespace pelldrake::engine::test {
namespace {

class TableModelTest : public EngineTest {};

TEST_P(TableModelTest, ShowsRowsAndWritesEditsThroughTheTable)
{
    const QString t = tableName(QStringLiteral("grid"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(20), memo TEXT)").arg(t));
    QSqlQuery q(db->sqlDatabase());
    q.prepare(QStringLiteral("INSERT INTO %1 VALUES (?, ?, 'm')").arg(t));
    db->startTransaction();
    for (int i = 1; i <= 3000; ++i) {
        q.bindValue(0, i);
        q.bindValue(1, QStringLiteral("name %1").arg(i));
        ASSERT_TRUE(q.exec());
    }
    db->commit();
    auto tab = openTable(t);
    DataSource source;
    source.setDataSet(tab.get());
    TableModel model;
    model.setDataSource(&source);
    EXPECT_EQ(model.rowCount(), 3000);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("name"));
    EXPECT_EQ(model.data(model.index(2999, 1)).toString(), QStringLiteral("name 3000"));
    EXPECT_EQ(model.data(model.index(0, 2)).toString(), QStringLiteral("m")) << "a memo shows its text";
    EXPECT_EQ(model.data(model.index(0, 2), Qt::EditRole).toString(), QStringLiteral("m"));
    EXPECT_EQ(tab->recNo(), 1) << "reading cells does not move the cursor";

    QSignalSpy rowMoves(&model, &TableModel::currentRowChanged);
    ASSERT_TRUE(model.setData(model.index(9, 1), QStringLiteral("edited")));
    EXPECT_EQ(tab->recNo(), 10);
    EXPECT_EQ(tab->state(), TableState::Edit);
    EXPECT_EQ(model.data(model.index(9, 1)).toString(), QStringLiteral("edited"));
    EXPECT_FALSE(rowMoves.isEmpty());
    tab->post();
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT name FROM %1 WHERE id = 10").arg(t)));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString(), QStringLiteral("edited"));

    // While the controls are locked the model stays put; one update follows the unlock. Views
    // keep their column order: only opening and closing reset the model.
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    tab->disableControls();
    tab->first();
    for (int i = 0; i < 5; ++i)
        tab->deleteRecord();
    EXPECT_EQ(model.rowCount(), 3000);
    EXPECT_TRUE(removed.isEmpty());
    tab->enableControls();
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(model.rowCount(), 2995);
    tab->setFilter(QStringLiteral("name = 'name 7*'"));
    tab->setFiltered(true);
    // A filter's rows come page by page, as a view scrolls to the last row it has.
    EXPECT_LT(model.rowCount(), 111);
    EXPECT_GT(model.rowCount(), 0);
    while (model.canFetchMore(QModelIndex()))
        model.fetchMore(QModelIndex());
    EXPECT_EQ(model.rowCount(), 111);
    EXPECT_EQ(model.data(model.index(110, 1)).toString(), QStringLiteral("name 799"));
    EXPECT_EQ(inserted.count(), 1);
    tab->setFiltered(false);
    EXPECT_EQ(model.rowCount(), 2995);
    EXPECT_EQ(inserted.count(), 2);
    tab->append();
    EXPECT_EQ(model.rowCount(), 2996);
    EXPECT_EQ(model.data(model.index(2995, 1)).toString(), QString());
    tab->cancel();
    EXPECT_EQ(model.rowCount(), 2995);
    EXPECT_EQ(resets.count(), 0);

    tab->close();
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    tab->open();
    EXPECT_EQ(model.rowCount(), 2995);
    source.setDataSet(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_P(TableModelTest, FilteredRowsArriveAsTheCursorMovesPastThem)
{
    const QString t = tableName(QStringLiteral("grow"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(20))").arg(t));
    QSqlQuery q(db->sqlDatabase());
    q.prepare(QStringLiteral("INSERT INTO %1 VALUES (?, ?)").arg(t));
    db->startTransaction();
    for (int i = 1; i <= 1500; ++i) {
        q.bindValue(0, i);
        q.bindValue(1, i % 2 ? QStringLiteral("odd %1").arg(i) : QStringLiteral("even %1").arg(i));
        ASSERT_TRUE(q.exec());
    }
    db->commit();
    auto tab = openTable(t);
    DataSource source;
    source.setDataSet(tab.get());
    TableModel model;
    model.setDataSource(&source);
    QSignalSpy rowMoves(&model, &TableModel::currentRowChanged);
    tab->setFilter(QStringLiteral("name = 'odd*'"));
    tab->setFiltered(true);
    const int firstPage = model.rowCount();
    EXPECT_GT(firstPage, 0);
    EXPECT_LT(firstPage, 750);
    // Moving past the rows the view knows tells it about them before the move.
    tab->setRecNo(firstPage + 10);
    EXPECT_GE(model.rowCount(), firstPage + 10);
    EXPECT_EQ(rowMoves.last().at(0).toInt(), firstPage + 9);
    EXPECT_EQ(model.data(model.index(firstPage + 9, 1)).toString(), QStringLiteral("odd %1").arg(2 * (firstPage + 9) + 1));
    tab->last();
    EXPECT_EQ(model.rowCount(), 750);
    EXPECT_FALSE(model.canFetchMore(QModelIndex()));
    EXPECT_EQ(rowMoves.last().at(0).toInt(), 749);
    EXPECT_EQ(model.data(model.index(749, 1)).toString(), QStringLiteral("odd 1499"));
    // A locked table does not read on behalf of a view.
    tab->setFilter(QStringLiteral("name = 'even*'"));
    tab->disableControls();
    EXPECT_FALSE(model.canFetchMore(QModelIndex()));
    tab->enableControls();
    EXPECT_TRUE(model.canFetchMore(QModelIndex()));
}

// What the table refuses is setData's false with the reason, as Qt's models answer; nothing is
// thrown through a view. The record stays in edit, to be corrected or cancelled.
TEST_P(TableModelTest, ARefusedEditIsFalseWithTheTablesReason)
{
    const QString t = tableName(QStringLiteral("refuse"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, qty INTEGER, code VARCHAR(10) UNIQUE)").arg(t));
    exec(QStringLiteral("INSERT INTO %1 VALUES (1, 10, 'a'), (2, 20, 'b'), (3, 30, 'c')").arg(t));
    auto tab = openTable(t);
    DataSource source;
    source.setDataSet(tab.get());
    TableModel model;
    model.setDataSource(&source);
    // The reason is the field's own message, as the grid showed it when setData threw.
    QString fieldsReason;
    tab->edit();
    try {
        tab->fieldByName(QStringLiteral("qty"))->setAsString(QStringLiteral("abc"));
    } catch (const std::exception &e) {
        fieldsReason = QString::fromUtf8(e.what());
    }
    tab->cancel();
    ASSERT_FALSE(fieldsReason.isEmpty());

    bool stored = true;
    EXPECT_NO_THROW(stored = model.setData(model.index(0, 1), QStringLiteral("abc")));
    EXPECT_FALSE(stored);
    EXPECT_EQ(model.lastError(), fieldsReason);
    EXPECT_EQ(tab->state(), TableState::Edit);
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), QStringLiteral("10"));
    EXPECT_TRUE(model.setData(model.index(0, 1), QStringLiteral("7")));
    EXPECT_TRUE(model.lastError().isEmpty());

    // Moving on to another row posts the edit; the database refuses the duplicate.
    ASSERT_TRUE(model.setData(model.index(0, 2), QStringLiteral("b")));
    EXPECT_NO_THROW(stored = model.setData(model.index(2, 1), QStringLiteral("33")));
    EXPECT_FALSE(stored);
    EXPECT_FALSE(model.lastError().isEmpty());
    EXPECT_EQ(tab->recNo(), 1);
    EXPECT_EQ(tab->state(), TableState::Edit);
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("30"));

    // A false that refused nothing has no reason.
    tab->cancel();
    EXPECT_FALSE(model.setData(model.index(5, 1), QStringLiteral("1")));
    EXPECT_TRUE(model.lastError().isEmpty());
}

// A cell shows what fits on a screen: a value of megabytes is cut before the
// view elides or measures it (else every repaint takes seconds), never in the
// middle of a character. Editing still gets the whole value.
TEST_P(TableModelTest, HugeTextShowsOnlyWhatACellCanHold)
{
    const QString t = tableName(QStringLiteral("huge"));
    exec(QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, memo TEXT)").arg(t));
    // Characters of two UTF-16 units, at odd places in one value and even in
    // the other: one of them lies across any cut.
    QString pairs;
    for (int i = 0; i < 6000; ++i)
        pairs += QStringLiteral(u"\U0001F600");
    pairs += QString(1 << 20, QLatin1Char('b'));
    const QStringList values{QLatin1Char('a') + pairs, pairs, QStringLiteral("first\r\nsecond")};
    QSqlQuery q(db->sqlDatabase());
    q.prepare(QStringLiteral("INSERT INTO %1 VALUES (?, ?)").arg(t));
    for (int row = 0; row < values.size(); ++row) {
        q.bindValue(0, row + 1);
        q.bindValue(1, values[row]);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    auto tab = openTable(t);
    DataSource source;
    source.setDataSet(tab.get());
    TableModel model;
    model.setDataSource(&source);

    for (int row : {0, 1}) {
        const QString shown = model.data(model.index(row, 1)).toString();
        EXPECT_GE(shown.size(), 1000) << "a cell wider than a screen still shows in full";
        EXPECT_LE(shown.size(), 10000);
        EXPECT_TRUE(values[row].startsWith(shown));
        EXPECT_FALSE(shown.back().isHighSurrogate());
        EXPECT_EQ(model.data(model.index(row, 1), Qt::EditRole).toString(), values[row]);
    }
    EXPECT_EQ(model.data(model.index(2, 1)).toString(), QStringLiteral("first"));
}

INSTANTIATE_TEST_SUITE_P(Engines, TableModelTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendName);

} // namespace
} // namespace pelldrake::engine::test
