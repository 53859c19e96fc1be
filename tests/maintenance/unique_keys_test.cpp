// The keys of the unique date-time key fill.
#include "maintenance/unique_keys.h"

#include <gtest/gtest.h>

#include <deque>

using namespace pelldrake::maintenance;

namespace {

// A clock that reads from a script; the wait costs nothing.
class ScriptedClock : public KeyClock {
public:
    std::deque<QDateTime> readings;
    int waited = 0;
    QDateTime now() override
    {
        const QDateTime t = readings.front();
        if (readings.size() > 1)
            readings.pop_front();
        return t;
    }
    void sleepMs(int ms) override { waited += ms; }
};

QDateTime at(int h, int m, int s, int ms, int day = 5)
{
    return QDateTime(QDate(2024, 3, day), QTime(h, m, s, ms));
}

TEST(UniqueKeys, KeyIsTheLocalTimeAsSeventeenDigits)
{
    EXPECT_EQ(UniqueKeys::keyText(at(14, 7, 9, 45)), QStringLiteral("20240305140709045"));
    EXPECT_EQ(UniqueKeys::keyText(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999))),
              QStringLiteral("19991231235959999"));
}

TEST(UniqueKeys, EachKeyWaitsAMillisecondAndFollowsTheClock)
{
    ScriptedClock clock;
    clock.readings = {at(14, 7, 9, 45), at(14, 7, 9, 47)};
    UniqueKeys keys(clock);
    EXPECT_EQ(keys.next(), QStringLiteral("20240305140709045"));
    EXPECT_EQ(keys.next(), QStringLiteral("20240305140709047"));
    EXPECT_EQ(clock.waited, 2);
}

TEST(UniqueKeys, StrictlyIncreasingWhenTheClockStandsStillOrStepsBack)
{
    ScriptedClock clock;
    // Standing still, then an hour back (end of summer time), then on again.
    clock.readings = {at(2, 59, 59, 998), at(2, 59, 59, 998), at(2, 59, 59, 998), at(1, 59, 59, 999),
                      at(3, 0, 0, 5)};
    UniqueKeys keys(clock);
    QStringList made;
    for (int i = 0; i < 5; ++i)
        made << keys.next();
    EXPECT_EQ(made, (QStringList{QStringLiteral("20240305025959998"), QStringLiteral("20240305025959999"),
                                  QStringLiteral("20240305030000000"), QStringLiteral("20240305030000001"),
                                  QStringLiteral("20240305030000005")}));
}

TEST(UniqueKeys, CarryingAMillisecondCrossesMidnightAndMonthEnd)
{
    ScriptedClock clock;
    clock.readings = {QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999))};
    UniqueKeys keys(clock);
    EXPECT_EQ(keys.next(), QStringLiteral("20240229235959999"));
    EXPECT_EQ(keys.next(), QStringLiteral("20240301000000000"));
}

TEST(UniqueKeys, TheSystemClockGivesDistinctIncreasingKeys)
{
    UniqueKeys keys;
    QString previous;
    for (int i = 0; i < 50; ++i) {
        const QString key = keys.next();
        ASSERT_EQ(key.size(), 17);
        ASSERT_GT(key, previous);
        previous = key;
    }
}

} // namespace
