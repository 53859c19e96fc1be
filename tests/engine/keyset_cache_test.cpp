// The keyset and row cache bookkeeping, without a database.
#include "engine/keyset.h"
#include "engine/row_cache.h"

#include <gtest/gtest.h>

namespace pelldrake::engine {
namespace {

QVariantList rowOf(const char *v) { return {QString::fromLatin1(v)}; }

TEST(RowCacheTest, TheNewestCopyOfARowWins)
{
    RowCache c;
    c.beginWindow();
    for (qint64 id : {1, 2, 3, 5, 8})
        c.addToWindow(id, rowOf("window"));
    c.endWindow();
    ASSERT_NE(c.lookup(5), nullptr);
    EXPECT_EQ(c.lookup(5)->first().toString(), QStringLiteral("window"));
    EXPECT_EQ(c.lookup(4), nullptr);
    // A row read again by key (after an edit) hides the window's stale copy...
    c.insert(5, rowOf("edited"));
    EXPECT_EQ(c.lookup(5)->first().toString(), QStringLiteral("edited"));
    // ...and a new window hides the cache's.
    c.beginWindow();
    c.addToWindow(5, rowOf("window2"));
    c.endWindow();
    EXPECT_EQ(c.lookup(5)->first().toString(), QStringLiteral("window2"));
    c.forget(5);
    EXPECT_EQ(c.lookup(5), nullptr);
    // Ids out of order never answer with a neighbour's row.
    c.beginWindow();
    c.addToWindow(9, rowOf("nine"));
    c.addToWindow(7, rowOf("seven"));
    c.endWindow();
    const QVariantList *r = c.lookup(7);
    EXPECT_TRUE(r == nullptr || r->first().toString() == QLatin1String("seven"));
}

TEST(KeysetTest, RowsLeavingTheViewMoveTheNextPageBack)
{
    Keyset k;
    for (qint64 id = 10; id < 15; ++id)
        k.append(id);
    k.pageRead(5, 5, true);
    EXPECT_FALSE(k.complete()); // a full page: there may be more
    EXPECT_EQ(k.readOffset(), 5);
    EXPECT_EQ(k.seekAfter(), 14);
    k.removeAt(0); // deleted: the query's next page starts one row earlier
    k.removeAt(2);
    EXPECT_EQ(k.readOffset(), 3);
    EXPECT_EQ(k.loaded(), 3);
    EXPECT_EQ(k.at(0), 11);
    EXPECT_EQ(k.at(1), 12);
    EXPECT_EQ(k.at(2), 14);
    k.insertAt(1, 99);
    EXPECT_EQ(k.find(99), 1);
    EXPECT_EQ(k.find(10), -1);
    k.compact();
    k.append(20);
    k.pageRead(1, 5, true);
    EXPECT_TRUE(k.complete());
    EXPECT_EQ(k.loaded(), 5);
}

} // namespace
} // namespace pelldrake::engine
