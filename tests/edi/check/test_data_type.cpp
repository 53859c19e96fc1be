#include "edi/data_type.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using pelldrake::edi::validateDataType;

TEST(DataType, NumericCodesAcceptDigitsAndFullStopsOnly)
{
    for (const char *code : {"N", "N0", "N2", "N9", "R"}) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(validateDataType("", code));
        EXPECT_TRUE(validateDataType("0123456789", code));
        EXPECT_TRUE(validateDataType("12.50", code));
        EXPECT_TRUE(validateDataType("1.2.3", code));   // only membership counts
        EXPECT_FALSE(validateDataType("-12", code));
        EXPECT_FALSE(validateDataType("+12", code));
        EXPECT_FALSE(validateDataType("1,000", code));
        EXPECT_FALSE(validateDataType("1 000", code));
        EXPECT_FALSE(validateDataType("12 ", code));
        EXPECT_FALSE(validateDataType("1e5", code));
    }
}

TEST(DataType, CodesAreExactAndCaseSensitive)
{
    for (const char *value : {"", "anything at all", "-1", "\x01\xff"}) {
        EXPECT_TRUE(validateDataType(value, "AN"));
        EXPECT_TRUE(validateDataType(value, "ID"));
        EXPECT_FALSE(validateDataType(value, "an"));
        EXPECT_FALSE(validateDataType(value, "AN "));
        EXPECT_FALSE(validateDataType(value, "B"));
        EXPECT_FALSE(validateDataType(value, ""));
        EXPECT_FALSE(validateDataType(value, "r"));
    }
    // Any code starting with N is numeric, even an odd one.
    EXPECT_TRUE(validateDataType("42", "Nonsense"));
    EXPECT_FALSE(validateDataType("42", "n0"));
}

TEST(DataType, TimesAreHoursAndMinutes)
{
    EXPECT_TRUE(validateDataType("1230", "TM"));
    EXPECT_TRUE(validateDataType("0000", "TM"));
    EXPECT_TRUE(validateDataType("2359", "TM"));
    EXPECT_TRUE(validateDataType("123", "TM"));    // 12:3
    EXPECT_FALSE(validateDataType("2400", "TM"));
    EXPECT_FALSE(validateDataType("2460", "TM"));
    EXPECT_FALSE(validateDataType("1260", "TM"));
    EXPECT_FALSE(validateDataType("123045", "TM"));   // 12:3045, no such minute
    EXPECT_FALSE(validateDataType("000000", "TM"));
    EXPECT_FALSE(validateDataType("120030", "TM"));
    EXPECT_FALSE(validateDataType("", "TM"));
    EXPECT_FALSE(validateDataType("12", "TM"));
    EXPECT_FALSE(validateDataType("1", "TM"));
    EXPECT_FALSE(validateDataType("12ab", "TM"));
    EXPECT_FALSE(validateDataType("-100", "TM"));
    EXPECT_FALSE(validateDataType("99999999999999999999", "TM"));
}

TEST(DataType, DatesCheckMonthDayAndLeapYears)
{
    EXPECT_TRUE(validateDataType("20241231", "DT"));
    EXPECT_TRUE(validateDataType("241231", "DT"));
    EXPECT_TRUE(validateDataType("20000229", "DT"));    // divisible by 400
    EXPECT_FALSE(validateDataType("19000229", "DT"));   // divisible by 100 only
    EXPECT_FALSE(validateDataType("20010229", "DT"));
    EXPECT_TRUE(validateDataType("20240229", "DT"));
    EXPECT_FALSE(validateDataType("20240230", "DT"));
    EXPECT_FALSE(validateDataType("20241301", "DT"));
    EXPECT_FALSE(validateDataType("20240001", "DT"));
    EXPECT_FALSE(validateDataType("20240100", "DT"));
    EXPECT_FALSE(validateDataType("20240431", "DT"));
    EXPECT_FALSE(validateDataType("00000101", "DT"));
    EXPECT_FALSE(validateDataType("2024123", "DT"));     // seven characters
    EXPECT_FALSE(validateDataType("", "DT"));
    EXPECT_FALSE(validateDataType("2024-1-1", "DT"));
    EXPECT_FALSE(validateDataType("2024 101", "DT"));
    EXPECT_FALSE(validateDataType("24 101", "DT"));
}

TEST(DataType, TwoDigitYearsUseTheFixedPivot)
{
    EXPECT_EQ(pelldrake::edi::pivotTwoDigitYear(0), 2000);
    EXPECT_EQ(pelldrake::edi::pivotTwoDigitYear(49), 2049);
    EXPECT_EQ(pelldrake::edi::pivotTwoDigitYear(50), 1950);
    EXPECT_EQ(pelldrake::edi::pivotTwoDigitYear(99), 1999);
    EXPECT_TRUE(validateDataType("000229", "DT"));    // 2000, a leap year
    EXPECT_TRUE(validateDataType("960229", "DT"));
    EXPECT_FALSE(validateDataType("970229", "DT"));
}

TEST(DataType, SameAnswersFromManyThreads)
{
    const std::vector<std::pair<std::string, bool>> cases = {
        {"20000229", true}, {"20010229", false}, {"000229", true}, {"241301", false}};
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i)
                for (const auto &[value, expected] : cases)
                    if (validateDataType(value, "DT") != expected)
                        ++failures[t];
        });
    }
    for (auto &th : threads)
        th.join();
    for (int f : failures)
        EXPECT_EQ(f, 0);
}
