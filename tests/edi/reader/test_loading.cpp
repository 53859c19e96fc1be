#include "edi/file_util.h"
#include "edi/recv_translate_to.h"
#include "x12_fixture.h"

#include <gtest/gtest.h>

using namespace x12test;
using pelldrake::edi::FileError;
using pelldrake::edi::SegmentIndexError;
using pelldrake::edi::TlynEDIRecvTranslateTo;

namespace {

std::string groupFile(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &l : lines)
        out += l + "\r\n";
    return out;
}

const std::string kIsa = isaSegment(InterchangePlan{});

std::vector<std::pair<std::string, std::string>> records(TlynEDIRecvTranslateTo &r)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (r.first(); !r.eof(); r.next())
        out.emplace_back(r.fieldByName("Type").asString(), r.fieldByName("Data").asString());
    return out;
}

} // namespace

TEST(Loading, GroupFileBecomesTypedRecords)
{
    WorkDir wd;
    writeFile("g.edi", groupFile({"126", "42", ">", kIsa, "TA1*000000001*261207*0739*A*000", "GS*PO*A*B*20261207*0739*1*X*004010",
                                  "ST*850*0001", "BEG*00*SA*4711**20261207", "", "SE*4*0001", "ST*850*0002",
                                  "STC*A1:20*20261207", "SE*3*0002", "GE*2*1"}));
    TlynEDIRecvTranslateTo r;
    r.loadEDIData("g.edi");
    const auto recs = records(r);
    ASSERT_EQ(recs.size(), 8u);
    EXPECT_EQ(recs[0], (std::pair<std::string, std::string>{"SEGTERM", "126"}));
    EXPECT_EQ(recs[1], (std::pair<std::string, std::string>{"ELESEP", "42"}));
    EXPECT_EQ(recs[2], (std::pair<std::string, std::string>{"SUBELESEP", ">"}));
    EXPECT_EQ(recs[3].first, "ISA");
    EXPECT_EQ(recs[3].second, kIsa + "\nTA1*000000001*261207*0739*A*000");
    EXPECT_EQ(recs[4].first, "GS");
    // The empty line stays an empty line of the set.
    EXPECT_EQ(recs[5], (std::pair<std::string, std::string>{"ST", "ST*850*0001\nBEG*00*SA*4711**20261207\n\nSE*4*0001"}));
    // A status segment STC continues its transaction set.
    EXPECT_EQ(recs[6].second, "ST*850*0002\nSTC*A1:20*20261207\nSE*3*0002");
    EXPECT_EQ(recs[7].first, "GE");
    EXPECT_EQ(r.transactionSetCount, 2);

    // Loading again replaces everything.
    r.loadEDIData("g.edi");
    EXPECT_EQ(r.recordCount(), 8u);
    EXPECT_EQ(r.transactionSetCount, 2);
}

TEST(Loading, LineBeforeTheFirstEnvelopeJoinsTheSeparatorRecordAndLfFilesLoad)
{
    WorkDir wd;
    writeFile("g.edi", "126\n42\n:\nJUNK\n" + kIsa + "\nGS*PO\nST*850*1\nSE*2*1\nGE*1*1");
    TlynEDIRecvTranslateTo r;
    r.loadEDIData("g.edi");
    const auto recs = records(r);
    ASSERT_EQ(recs.size(), 7u);
    EXPECT_EQ(recs[2].second, ":\nJUNK");
    EXPECT_EQ(recs[6], (std::pair<std::string, std::string>{"GE", "GE*1*1"}));
}

TEST(Loading, FailuresLeaveTheStoreEmptiedOrPartlyFilled)
{
    WorkDir wd;
    TlynEDIRecvTranslateTo r;
    r.setFileName("store.cds");
    writeFile("g.edi", groupFile({"126", "42", ">", kIsa}));
    r.loadEDIData("g.edi");
    EXPECT_EQ(r.recordCount(), 4u);

    EXPECT_THROW(r.loadEDIData("missing.edi"), FileError);
    EXPECT_EQ(r.recordCount(), 0u);
    // The emptied store was saved to its file.
    TlynEDIRecvTranslateTo other;
    other.setFileName("store.cds");
    other.open();
    EXPECT_EQ(other.recordCount(), 0u);

    writeFile("short.edi", "126\r\n42\r\n");
    EXPECT_THROW(r.loadEDIData("short.edi"), std::out_of_range);
    EXPECT_EQ(r.recordCount(), 2u);
    writeFile("empty.edi", "");
    EXPECT_THROW(r.loadEDIData("empty.edi"), std::out_of_range);
    EXPECT_EQ(r.recordCount(), 0u);
}

TEST(Loading, DocumentsAreCountedFromOneInStoreOrder)
{
    WorkDir wd;
    writeFile("g.edi", groupFile({"126", "42", ">", kIsa, "GS*PO", "ST*850*0001", "BEG*1", "SE*3*0001", "ST*850*0002",
                                  "BEG*2", "REF*DP*9", "SE*4*0002", "ST*850*0003", "SE*2*0003", "GE*3*1"}));
    TlynEDIRecvTranslateTo r;
    r.elementSeparator = "*";
    r.loadEDIData("g.edi");
    EXPECT_EQ(r.transactionSetCount, 3);
    r.loadDocument(2);
    ASSERT_EQ(r.segmentCount, 4);
    EXPECT_EQ(r.segmentIndex, 0);
    EXPECT_EQ(r.segmentList[0], "ST*850*0002");
    EXPECT_EQ(r.lookupElementValue("REF", 2, 1, "DP"), "9");
    r.nextSegment();
    EXPECT_EQ(r.getElementValue(1), "2");

    for (int bad : {0, -1, 4}) {
        r.loadDocument(bad);
        EXPECT_EQ(r.segmentCount, 0);
        EXPECT_TRUE(r.segmentList.empty());
        EXPECT_THROW(r.getElementValue(0), SegmentIndexError);
    }
    // Records added through the dataset itself are seen by the next lookup.
    r.append();
    r.fieldByName("Type").setAsString("ST");
    r.fieldByName("Data").setAsString("ST*999*0009\nSE*2*0009");
    r.post();
    r.loadDocument(4);
    ASSERT_EQ(r.segmentCount, 2);
    EXPECT_EQ(r.segmentList[0], "ST*999*0009");
    EXPECT_EQ(r.fieldByName("Data").asString(), "ST*999*0009\nSE*2*0009"); // left on the record loaded

    // A new interchange leaves the list until the next loadDocument.
    r.loadDocument(3);
    r.loadEDIData("g.edi");
    EXPECT_EQ(r.segmentCount, 2);
}

TEST(Loading, EnvelopeGettersReadTheFirstRecordOfTheirKind)
{
    WorkDir wd;
    writeFile("g.edi", groupFile({"126", "42", ">", kIsa, "GS*PO*S*R*20261207*0739*17*X*004010", "ST*850*0001", "BEG*1",
                                  "SE*3*0001", "ST*855*0002", "SE*2*0002", "GE*2*17", "IEA*1*000000001"}));
    TlynEDIRecvTranslateTo r;
    r.loadEDIData("g.edi");
    EXPECT_EQ(r.getISASegElement(6), ""); // no separator known yet
    r.elementSeparator = "*";
    EXPECT_EQ(r.getISASegElement(0), "ISA");
    EXPECT_EQ(r.getISASegElement(6), "ACME           ");
    EXPECT_EQ(r.getISASegElement(16), ">");
    EXPECT_EQ(r.getISASegElement(17), "");
    EXPECT_EQ(r.getISASegElement(-1), "");
    EXPECT_EQ(r.getGSSegElement(8), "004010");
    EXPECT_EQ(r.getGESegElement(2), "17");
    EXPECT_EQ(r.getIEASegElement(2), "000000001");
    EXPECT_EQ(r.getSTSegElement(1), "850");
    EXPECT_EQ(r.getSTSegElement(2), "0001");
    // The SE closing the first transaction set, not the second.
    EXPECT_EQ(r.getSESegElement(1), "3");
    EXPECT_EQ(r.getSESegElement(2), "0001");
    EXPECT_TRUE(r.eof() == false);

    // A segment following the ISA becomes part of its record.
    writeFile("t.edi", groupFile({"126", "42", ">", kIsa, "TA1*1", "GS*PO"}));
    r.loadEDIData("t.edi");
    EXPECT_EQ(r.getISASegElement(16), ">\nTA1");
    EXPECT_EQ(r.getSTSegElement(1), "");
    EXPECT_EQ(r.getSESegElement(1), "");
    EXPECT_EQ(r.getIEASegElement(1), "");
    EXPECT_TRUE(r.eof());
}

TEST(Loading, FileListTakesFilesOnly)
{
    WorkDir wd;
    TlynEDIRecvTranslateTo r;
    std::vector<std::string> list{"stale"};
    r.loadEDIFileList((wd.path() / "nope").string(), list);
    EXPECT_TRUE(list.empty());
    fs::create_directory(wd.input() / "sub");
    r.loadEDIFileList(wd.input().string(), list);
    EXPECT_TRUE(list.empty());
    writeFile(wd.input() / "a.x12", "x");
    writeFile(wd.input() / "b", "y");
    r.loadEDIFileList(wd.input().string(), list);
    std::sort(list.begin(), list.end());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(fs::path(list[0]), wd.input() / "a.x12");
    EXPECT_EQ(fs::path(list[1]), wd.input() / "b");
}
