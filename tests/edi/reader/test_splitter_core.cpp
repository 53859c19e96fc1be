// The pieces of the splitter that the checker's splitter uses as well.
#include "edi/interchange_splitter.h"
#include "edi/recv_translate_to.h"
#include "x12_fixture.h"

#include <gtest/gtest.h>

using namespace x12test;
using namespace pelldrake::edi;

TEST(SplitterCore, HeaderDetectionFindsSeparatorsInEveryLayout)
{
    const std::string isa = isaSegment(InterchangePlan{});
    auto h = detectHeader("\x01\x02junk" + isa + "~GS*PO~");
    ASSERT_TRUE(h);
    EXPECT_EQ(h->terminator, '~');
    EXPECT_EQ(h->elementSeparator, '*');
    EXPECT_EQ(h->isaText, isa);

    h = detectHeader(isa + "\nGS*PO\n"); // line feed at 106: the only terminator
    ASSERT_TRUE(h);
    EXPECT_EQ(h->terminator, '\n');
    h = detectHeader(isa + "\r\nGS*PO\r\n"); // CR LF as terminator
    ASSERT_TRUE(h);
    EXPECT_EQ(h->terminator, '\n');
    EXPECT_EQ(h->isaText, isa);
    h = detectHeader(isa + "~\nGS*PO~\n"); // terminator and a bare line feed
    ASSERT_TRUE(h);
    EXPECT_EQ(h->terminator, '~');

    for (const std::string brk : {"\r\n", "\n"}) {
        const std::string text = isa + "~GS*PO~";
        const std::string wrapped = text.substr(0, 80) + brk + text.substr(80) + brk;
        h = detectHeader(wrapped);
        ASSERT_TRUE(h);
        EXPECT_TRUE(h->unwrapped);
        EXPECT_EQ(h->terminator, '~');
        EXPECT_EQ(h->isaText, isa);
    }

    EXPECT_FALSE(detectHeader(""));
    EXPECT_FALSE(detectHeader("GS*PO~ST*850~"));
    EXPECT_FALSE(detectHeader(isa.substr(0, 100)));
}

// The named places of the ISA layout, on a real ISA.
TEST(SplitterCore, IsaGeometry)
{
    InterchangePlan ic;
    ic.control = "123456789";
    ic.subSep = ':';
    const std::string isa = isaSegment(ic) + "~";
    ASSERT_EQ(isa.size(), kIsaLength);
    EXPECT_EQ(isa.substr(0, kIsaTag.size()), kIsaTag);
    EXPECT_EQ(isa[kIsaElementSeparatorAt], '*');
    EXPECT_EQ(isa[kIsaRepetitionSeparatorAt], 'U');
    EXPECT_EQ(isa.substr(kIsaControlNumberAt, kIsaControlNumberLength), ic.control);
    EXPECT_EQ(isa[kIsaComponentSeparatorAt], ':');
    EXPECT_EQ(isa[kIsaTerminatorAt], '~');
    EXPECT_EQ(std::count(isa.begin(), isa.end(), '*'), kIsaElementCount);
    EXPECT_EQ(terminatorOfISA(isa + "GS", false), '~');
}

TEST(SplitterCore, TrailerIsTheIeaAfterTheGeClosingTheLastGroup)
{
    WorkDir wd;
    const auto trailer = [&](const std::string &text) {
        writeFile("t.x12", text);
        FilePtr f = openFile("t.x12", "rb");
        return findTrailerIEA(f.get(), '~', '*');
    };
    // The last group is so short that the window also holds the GE before it.
    const std::string body = isaSegment(InterchangePlan{}) + "~GS*PO~ST*850*1~SE*2*1~GE*1*1~GS*IN~GE*0*2~";
    EXPECT_EQ(trailer(body + "IEA*2*000000001~"), "IEA*2*000000001~");
    EXPECT_EQ(trailer(body + "IEA*2*000000001~\r\n  \r\n\x1a"), "IEA*2*000000001~");
    EXPECT_EQ(trailer(body + "IEA*2*000000001"), "IEA*2*000000001~");
    EXPECT_EQ(trailer(body), "");
    EXPECT_EQ(trailer("   \r\n"), "");
    EXPECT_EQ(trailer(""), "");
}

TEST(SplitterCore, PartnerNamePartsAndTags)
{
    EXPECT_EQ(partnerNamePart("../../x"), "x");
    EXPECT_EQ(partnerNamePart("a\\b/c:d"), "abcd");
    EXPECT_EQ(partnerNamePart(".\x01."), "");
    EXPECT_EQ(partnerNamePart("...."), "");
    EXPECT_EQ(partnerNamePart("A.B"), "A.B");
    EXPECT_EQ(trimControls(" \t ACME \r\n"), "ACME");
    EXPECT_TRUE(hasTag("GS*PO", "GS"));
    EXPECT_TRUE(hasTag("GS", "GS"));
    EXPECT_FALSE(hasTag("GSX*1", "GS"));
    EXPECT_EQ(envelopeKind("STC*A1"), nullptr);
    EXPECT_STREQ(envelopeKind("ST*850"), "ST");
    EXPECT_STREQ(envelopeKind("IEA*1"), "IEA");
    EXPECT_EQ(separatorCode('~'), "126");
    EXPECT_EQ(separatorCode('\n'), "10");
    EXPECT_EQ(separatorCode('\xA7'), "-89");
}

// The group would be lost without a word: the run fails and says why.
TEST(SplitterCore, UncreatableWorkFileFailsTheRunWithTheReason)
{
    WorkDir wd;
    fs::create_directory(TlynEDIRecvTranslateTo::kWorkFileName);
    writeFile(fs::path(TlynEDIRecvTranslateTo::kWorkFileName) / "keep", "x");
    InterchangePlan ic;
    ic.groups.assign(40, GroupPlan{}); // several blocks
    writeFile(wd.input() / "input.x12", render(segments(ic), Style::TildeCRLF));
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = wd.input().string();
    try {
        r.parseEDIData();
        ADD_FAILURE() << "no error";
    } catch (const pelldrake::edi::FileError &e) {
        EXPECT_EQ(std::string(e.what()), "cannot create the work file \"lynEDI.dat\": File exists");
    }
    EXPECT_TRUE(wd.groupFiles().empty());
}

TEST(SplitterCore, ATagThatOnlyBeginsWithGsDoesNotStartAGroup)
{
    WorkDir wd;
    InterchangePlan ic;
    ic.groups[0].body = {"BEG*00*SA*1", "GSX*not a group header"};
    writeFile(wd.input() / "input.x12", render(segments(ic), Style::Tilde));
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = wd.input().string();
    ASSERT_TRUE(r.parseEDIData());
    const auto files = wd.groupFiles();
    ASSERT_EQ(files.size(), 1u);
    r.loadEDIData(files[0].string());
    r.loadDocument(1);
    EXPECT_EQ(r.segmentCount, 4);
}
