#include "edi/segment_list.h"

#include <gtest/gtest.h>

using pelldrake::edi::ConversionError;
using pelldrake::edi::SegmentIndexError;
using pelldrake::edi::SegmentList;

namespace {

SegmentList makeList(std::initializer_list<const char *> segs, const char *sep = "*")
{
    SegmentList l;
    l.elementSeparator = sep;
    for (const char *s : segs)
        l.segmentList.emplace_back(s);
    l.segmentCount = static_cast<int>(l.segmentList.size());
    return l;
}

} // namespace

TEST(SegmentList, ElementsAreNeitherTrimmedNorSplitIntoSubElements)
{
    SegmentList l = makeList({});
    const std::string isa = "ISA*00*          *00";
    EXPECT_EQ(l.getSegmentValue(isa, "2"), "          ");
    EXPECT_EQ(l.getSegmentValue(isa, "0"), "ISA");
    EXPECT_EQ(l.getSegmentValue(isa, "3"), "00");
    EXPECT_EQ(l.getSegmentValue("GE*1*7", "3"), "");
    EXPECT_EQ(l.getSegmentValue("GE*1*7", "-1"), "");
    EXPECT_EQ(l.getSegmentValue("CLM*A1*100***11:B:1", "5"), "11:B:1");
    EXPECT_EQ(l.getSegmentValue("CLM*A1*100***11:B:1", "3"), "");
    EXPECT_EQ(l.getSegmentValue("N1*ST*", "2"), "");
    EXPECT_EQ(l.getSegmentValue("N1*ST*", "3"), "");
    EXPECT_EQ(l.getSegmentValue("GE*1*7", "02"), "7");
    EXPECT_THROW(l.getSegmentValue("GE*1*7", "x"), ConversionError);
    EXPECT_THROW(l.getSegmentValue("GE*1*7", ""), ConversionError);
    EXPECT_THROW(l.getSegmentValue("GE*1*7", "99999999999"), ConversionError);
}

TEST(SegmentList, NamingCountsElementsAndLooksAtTheNextSegment)
{
    SegmentList l = makeList({"ST*850*0001", "N1*ST*ACME", "NOSEPARATOR", "SE*3*0001"});
    EXPECT_EQ(l.getSegmentName(1), "N1");
    EXPECT_EQ(l.elementCount, 3);
    EXPECT_EQ(l.nextSegmentName, ""); // the next segment has no separator

    l.nextSegmentName = "KEEP";
    EXPECT_EQ(l.getSegmentName(2), "");
    EXPECT_EQ(l.elementCount, 0);
    EXPECT_EQ(l.nextSegmentName, "KEEP");

    EXPECT_EQ(l.getSegmentName(0), "ST");
    EXPECT_EQ(l.nextSegmentName, "N1");
    EXPECT_EQ(l.getSegmentName(3), "SE");
    EXPECT_EQ(l.nextSegmentName, ""); // last entry

    l.getNextSegmentName(99);
    EXPECT_EQ(l.nextSegmentName, "");
    EXPECT_THROW(l.getNextSegmentName(-1), SegmentIndexError);
    EXPECT_THROW(l.getSegmentName(4), SegmentIndexError);
    EXPECT_THROW(l.getSegmentName(-1), SegmentIndexError);
}

TEST(SegmentList, WithoutSeparatorEverythingIsEmpty)
{
    SegmentList l = makeList({"ST*850*0001", "SE*2*0001"}, "");
    EXPECT_EQ(l.getSegmentName(0), "");
    EXPECT_EQ(l.elementCount, 0);
    l.getElementCount("ST*850");
    EXPECT_EQ(l.elementCount, 0);
    EXPECT_EQ(l.getElementValue(0), "");
    EXPECT_EQ(l.getSegmentValue("ST*850", "0"), "");
    EXPECT_EQ(l.lookupElementValue("ST", 1, 1, "850"), "");
}

TEST(SegmentList, CursorKeepsItsLooseBoundsButNeverReadsOutsideTheList)
{
    SegmentList l = makeList({"ST*850*0001", "BEG*00*SA", "SE*3*0001"});
    l.prevSegment();
    EXPECT_EQ(l.segmentIndex, 0);
    l.nextSegment();
    l.nextSegment();
    EXPECT_EQ(l.getElementValue(0), "SE");
    l.nextSegment(); // past the end, no bound
    EXPECT_EQ(l.segmentIndex, 3);
    EXPECT_THROW(l.getElementValue(1), SegmentIndexError);
    EXPECT_THROW(l.getElementValue(1), std::out_of_range);

    l.setSegmentIndex(3); // == segmentCount: refused
    EXPECT_EQ(l.segmentIndex, 3);
    l.setSegmentIndex(-1); // accepted
    EXPECT_EQ(l.segmentIndex, -1);
    EXPECT_THROW(l.getElementValue(0), SegmentIndexError);
    EXPECT_THROW(l.deleteSegment(), SegmentIndexError);

    // Deleting the last segment leaves segmentCount, so the cursor may point
    // at an entry that is gone.
    l.setSegmentIndex(2);
    l.deleteSegment();
    EXPECT_EQ(l.segmentCount, 3);
    EXPECT_EQ(l.segmentList.size(), 2u);
    l.setSegmentIndex(2);
    EXPECT_EQ(l.segmentIndex, 2);
    EXPECT_THROW(l.getElementValue(0), SegmentIndexError);
    EXPECT_THROW(l.deleteSegment(), SegmentIndexError);

    // Deleting in the middle: the cursor designates the following segment.
    l.setSegmentIndex(0);
    l.deleteSegment();
    EXPECT_EQ(l.getElementValue(0), "BEG");
}

TEST(SegmentList, LookupTakesTheLastMatchAndRestoresTheCursor)
{
    SegmentList l = makeList({"ST*850*0001", "REF*PO*4711", "REF*IA*77", "REF*IA*78", "SE*5*0001"});
    l.segmentIndex = 1;
    EXPECT_EQ(l.lookupElementValue("REF", 2, 1, "PO"), "4711");
    EXPECT_EQ(l.lookupElementValue("REF", 2, 1, "IA"), "78");
    EXPECT_EQ(l.lookupElementValue("REF", 2, 1, "DP"), "");
    EXPECT_EQ(l.lookupElementValue("REF", 2, 0, "REF"), "");
    EXPECT_EQ(l.lookupElementValue("REF", 2, 1, ""), "");
    EXPECT_EQ(l.segmentIndex, 1);
    // Naming every segment on the way leaves the last naming's side effects.
    EXPECT_EQ(l.elementCount, 3);
    EXPECT_EQ(l.nextSegmentName, "");
}

TEST(SegmentList, TextIsSplitAtAnyLineBreak)
{
    SegmentList l;
    l.setSegmentsFromText("ST*1\r\nA*1\nB*2\rC*3\n\nSE*5\n");
    ASSERT_EQ(l.segmentCount, 6);
    EXPECT_EQ(l.segmentList[3], "C*3");
    EXPECT_EQ(l.segmentList[4], "");
    EXPECT_EQ(l.segmentList[5], "SE*5");
    l.setSegmentsFromText("");
    EXPECT_EQ(l.segmentCount, 0);
}

TEST(SegmentList, LineCountAndLastLineAgreeWithTheLineWalk)
{
    using pelldrake::edi::countLines;
    using pelldrake::edi::forEachLine;
    using pelldrake::edi::lastLineOf;
    std::string many; // long enough for the counting lanes to be summed several times
    for (int i = 0; i < 3000; ++i)
        many += i % 5 ? "REF*" + std::to_string(i) + "\n" : std::string("\r\n");
    for (const std::string &text : {std::string(), std::string("a"), std::string("\n"), std::string("\r"),
                                   std::string("\r\n"), std::string("a\n"), std::string("a\r\n"), std::string("a\rb"),
                                   std::string("a\n\n"), std::string("a\n\r"), std::string("\n\r\n"),
                                   std::string("ST*1\nREF*2\nSE*3*1"), std::string("ST*1\r\nSE*2*1\r\n"),
                                   std::string("x\r\r\ny\r"), many}) {
        SCOPED_TRACE(testing::PrintToString(text));
        std::size_t n = 0;
        std::string_view last;
        forEachLine(text, [&](std::string_view line) {
            ++n;
            last = line;
        });
        EXPECT_EQ(countLines(text), n);
        EXPECT_EQ(lastLineOf(text), last);
    }
}
