#include "edi/from_ach.h"
#include "edi/file_util.h"

#include "check_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using pelldrake::edi::TlynEDIFromACH;
using namespace checktest;

namespace {

std::string record(const std::string &text) { return text + std::string(94 - text.size(), ' '); }

std::string addenda(const std::string &payment, int seq)
{
    std::string s = "705" + payment + std::string(80 - payment.size(), ' ');
    char tail[16];
    std::snprintf(tail, sizeof tail, "%04d%07d", seq, 1);
    return s + tail;
}

// A small file of every record kind: header, batch, entry, two addenda, control.
std::vector<std::string> smallFile()
{
    return {record("101 021000021 0110000152612070930A094101BANK"),
            record("5220DEMO CO"),
            record("622021000021987654321        0000125000"),
            addenda("ISA*00*first piece", 1),
            addenda("GS*RA*second piece  ", 2),
            record("822000000300042000042"),
            record("9000001000001")};
}

std::string join(const std::vector<std::string> &lines, const std::string &end)
{
    std::string s;
    for (const auto &l : lines)
        s += l + end;
    return s;
}

} // namespace

TEST(FromACH, SampleFileGivesItsEdiText)
{
    TempDir dir;
    TlynEDIFromACH ach;
    ach.loadACHFile((samplesDir() / "ach" / "ctx_payment.ach").string());
    ASSERT_EQ(ach.lines().size(), 12u);
    EXPECT_EQ(ach.lines()[0].substr(0, 3), "101");
    EXPECT_EQ(ach.lines()[0].size(), 94u);   // trailing blanks are not trimmed

    ach.extractEDI();
    ASSERT_EQ(ach.lines().size(), 5u);
    for (const auto &piece : ach.lines())
        EXPECT_EQ(piece.size(), 80u);
    EXPECT_EQ(ach.lines()[0].substr(0, 4), "ISA*");

    ach.saveEDIData(dir.file("out.edi"));
    const std::string edi = readFile(dir.file("out.edi"));
    EXPECT_EQ(edi, readFile(samplesDir() / "ach" / "ctx_payment.edi"));
    EXPECT_EQ(edi.find_first_of("\r\n"), std::string::npos);
}

TEST(FromACH, LineEndStylesAllGiveTheSameRecords)
{
    TempDir dir;
    const auto lines = smallFile();
    std::string backToBack;
    for (const auto &l : lines)
        backToBack += l;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"crlf.ach", join(lines, "\r\n")},
        {"lf.ach", join(lines, "\n")},
        {"cr.ach", join(lines, "\r")},
        {"noend.ach", join(lines, "\r\n").substr(0, join(lines, "\r\n").size() - 2)},
        {"packed.ach", backToBack}};
    for (const auto &[name, bytes] : files) {
        SCOPED_TRACE(name);
        writeFile(dir.file(name), bytes);
        TlynEDIFromACH ach;
        ach.loadACHFile(dir.file(name));
        EXPECT_EQ(ach.lines(), lines);
        ach.extractEDI();
        ASSERT_EQ(ach.lines().size(), 2u);
        EXPECT_EQ(ach.lines()[0], "ISA*00*first piece" + std::string(62, ' '));
        EXPECT_EQ(ach.lines()[1], "GS*RA*second piece" + std::string(62, ' '));
    }
}

TEST(FromACH, ExtractCutsByCountNotByPosition)
{
    TempDir dir;
    const std::string full = addenda("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789ABCDEFGH", 1);
    ASSERT_EQ(full.size(), 94u);
    const std::string cut90 = full.substr(0, 90);   // four blanks less: the payment text loses 4
    writeFile(dir.file("a.ach"),
              full + "\r\n" + cut90 + "\r\n" + "7\r\n" + "705short\r\n" + "\r\n" + "8\r\n" + "9\r\n");
    TlynEDIFromACH ach;
    ach.loadACHFile(dir.file("a.ach"));
    ASSERT_EQ(ach.lines().size(), 7u);
    ach.extractEDI();
    ASSERT_EQ(ach.lines().size(), 4u);
    EXPECT_EQ(ach.lines()[0], full.substr(3, 80));
    EXPECT_EQ(ach.lines()[1], full.substr(3, 76));
    EXPECT_EQ(ach.lines()[2], "");   // shorter than 14: nothing left
    EXPECT_EQ(ach.lines()[3], "");
}

TEST(FromACH, NoAddendaGivesAnEmptyListAndAnEmptyFile)
{
    TempDir dir;
    TlynEDIFromACH ach;
    ach.loadACHFile((samplesDir() / "ach" / "no_addenda.ach").string());
    EXPECT_EQ(ach.lines().size(), 5u);
    ach.extractEDI();
    EXPECT_TRUE(ach.lines().empty());
    writeFile(dir.file("out.edi"), "old content");
    ach.saveEDIData(dir.file("out.edi"));
    ASSERT_TRUE(fs::exists(dir.file("out.edi")));
    EXPECT_EQ(readFile(dir.file("out.edi")), "");
}

TEST(FromACH, MissingInputsAreEmptyUnreadableOnesRaise)
{
    TempDir dir;
    TlynEDIFromACH ach;
    ach.lines().push_back("left over");
    ach.loadACHFile(dir.file("missing.ach"));
    EXPECT_TRUE(ach.lines().empty());
    // There, but not readable: never mistaken for a file without addenda.
    fs::create_directory(dir.file("sub"));
    EXPECT_THROW(ach.loadACHFile(dir.file("sub")), pelldrake::edi::FileError);
#ifdef __linux__
    EXPECT_THROW(ach.loadACHFile("/proc/self/mem"), pelldrake::edi::FileError);   // every read fails
#endif
    EXPECT_TRUE(ach.lines().empty());
}

TEST(FromACH, UnwritableOutputsAreQuietAndKeepTheOldFile)
{
    TempDir dir;
    TlynEDIFromACH ach;
    fs::create_directory(dir.file("sub"));
    ach.lines().push_back("x");
    EXPECT_NO_THROW(ach.saveEDIData(dir.file("no/such/dir/out.edi")));
    EXPECT_NO_THROW(ach.saveEDIData(dir.file("sub")));
}

TEST(FromACH, StoreCopyReplacesTheDestinationCompletely)
{
    TempDir dir;
    std::string bytes = "101 header\r\n705 piece\nbinary\0\xff tail";
    bytes += std::string(5000, 'x');
    writeFile(dir.file("src.ach"), bytes);
    writeFile(dir.file("dst.ach"), std::string(20000, 'Z'));
    TlynEDIFromACH::storeCopyOfACH(dir.file("src.ach"), dir.file("dst.ach"));
    EXPECT_EQ(readFile(dir.file("dst.ach")), bytes);

    writeFile(dir.file("empty.ach"), "");
    TlynEDIFromACH::storeCopyOfACH(dir.file("empty.ach"), dir.file("dst.ach"));
    EXPECT_EQ(readFile(dir.file("dst.ach")), "");

    // Onto itself, under another spelling of its name: the file stays whole.
    TlynEDIFromACH::storeCopyOfACH(dir.file("src.ach"), dir.file("./src.ach"));
    EXPECT_EQ(readFile(dir.file("src.ach")), bytes);
}

TEST(FromACH, StoreCopyReportsFilesItCannotOpen)
{
    TempDir dir;
    writeFile(dir.file("src.ach"), "data");
    try {
        TlynEDIFromACH::storeCopyOfACH(dir.file("missing.ach"), dir.file("dst.ach"));
        FAIL() << "no error for a missing source";
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("missing.ach"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir.file("dst.ach")));
    EXPECT_THROW(TlynEDIFromACH::storeCopyOfACH(dir.file("src.ach"), dir.file("no/dir/dst.ach")),
                 std::runtime_error);
}
