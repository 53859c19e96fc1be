// Acknowledgments: each fault the checker finds becomes its code, the answer's
// envelope and layout follow the rules partners check, and every answer
// parses with an independent X12 parser and passes our own check.
#include "edi/acknowledgment.h"
#include "edi/file_util.h"
#include "edi/x12_text.h"
#include "edi/tool/edi_tool.h"
#include "x12_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace pelldrake::edi;
using acktest::Envelope;

namespace {

// Numbers from 1 up, and received control numbers remembered, in memory.
class MemoryNumbering : public AckNumbering {
public:
    std::int64_t nextInterchange(const std::string &) override { return ++interchanges; }
    std::int64_t nextGroup(const std::string &) override { return ++groups; }
    bool receivedBefore(const std::string &partner, const std::string &isa13) override
    {
        return seen.count(partner + isa13) > 0;
    }
    void remember(const std::string &partner, const std::string &isa13) override { seen.insert(partner + isa13); }
    std::int64_t interchanges = 0, groups = 0;
    std::set<std::string> seen;
};

struct Group {
    std::string id = "PO";
    std::string sender = "APPSEND", receiver = "APPRECV";
    std::string control = "17";
    std::string version = "004010";
    std::string date = "20261207";
    std::vector<std::string> sets;   // whole sets, ST..SE, '~'-terminated
    std::string trailer;             // GE; empty: the right one
};

std::string po(const std::string &control, const std::string &body = "BEG*00*SA*PO1**20261207~",
               int count = 3)
{
    return "ST*850*" + control + "~" + body + "SE*" + std::to_string(count) + "*" + control + "~";
}

std::string file(const Envelope &e, const std::vector<Group> &groups, const std::string &iea = "")
{
    std::string t = acktest::isa(e) + "~\r\n";
    for (const Group &g : groups) {
        t += "GS*" + g.id + "*" + g.sender + "*" + g.receiver + "*" + g.date + "*0930*" + g.control + "*X*" + g.version +
             "~\r\n";
        for (const std::string &s : g.sets)
            t += s;
        t += g.trailer.empty() ? "GE*" + std::to_string(g.sets.size()) + "*" + g.control + "~\r\n" : g.trailer;
    }
    t += iea.empty() ? "IEA*" + std::to_string(groups.size()) + "*" + e.control + "~\r\n" : iea;
    return t;
}

// The answers to text, in order.
std::vector<AckInterchange> acknowledge(const std::string &text, AckOptions options = {},
                                        MemoryNumbering *numbering = nullptr)
{
    acktest::ScratchDir dir;
    const std::string name = dir.file("in.x12", text);
    MemoryNumbering own;
    std::vector<AckInterchange> out;
    FilePtr in = openFile(name, "rb");
    options.clock = [] { return std::time_t{1796639400}; };
    acknowledgeFile(in.get(), name, options, numbering ? *numbering : own,
                    [&](AckInterchange &ic) { out.push_back(ic); });
    return out;
}

std::vector<std::string> segmentsOf(const std::string &ack)
{
    std::vector<std::string> segs;
    std::istringstream in(ack);
    std::string s;
    while (std::getline(in, s, '~')) {
        if (!s.empty() && s.front() == '\n')
            s.erase(0, 1);
        if (!s.empty())
            segs.push_back(s);
    }
    return segs;
}

bool has(const std::string &ack, const std::string &segment)
{
    const auto segs = segmentsOf(ack);
    return std::find(segs.begin(), segs.end(), segment) != segs.end();
}

std::string tags(const std::string &ack)
{
    std::string t;
    for (const std::string &s : segmentsOf(ack))
        t += s.substr(0, s.find('*')) + " ";
    return t;
}

std::string only(const std::string &text, AckOptions options = {})
{
    const auto acks = acknowledge(text, std::move(options));
    EXPECT_EQ(acks.size(), 1u);
    return acks.empty() ? std::string() : acks[0].text;
}

} // namespace

TEST(Acknowledgment, EachFaultBecomesItsCode)
{
    const Envelope e;
    struct Case {
        const char *name;
        std::vector<Group> groups;
        std::vector<std::string> expected;
    };
    Group clean;
    clean.sets = {po("0001")};
    auto with = [](std::vector<std::string> sets, std::string trailer = "") {
        Group g;
        g.sets = std::move(sets);
        g.trailer = std::move(trailer);
        return g;
    };
    const Case cases[] = {
        {"clean", {clean}, {"AK1*PO*17", "AK9*A*1*1*1"}},
        {"SE01 count", {with({po("0001", "BEG*00*SA*PO1**20261207~", 4)})}, {"AK5*R*4", "AK9*R*1*1*0"}},
        {"ST02 <> SE02", {with({"ST*850*0001~BEG*00*SA*PO1**20261207~SE*3*0002~"})}, {"AK2*850*0001", "AK5*R*3"}},
        {"missing SE", {with({"ST*850*0001~BEG*00*SA*PO1**20261207~"}, "GE*1*17~")}, {"AK5*R*2"}},
        {"duplicate ST02", {with({po("0001"), po("0001")})}, {"AK5*R*23", "AK9*P*2*2*1"}},
        {"GE01 count", {with({po("0001")}, "GE*2*17~")}, {"AK9*R*2*1*1*5"}},
        {"GS06 <> GE02", {with({po("0001")}, "GE*1*18~")}, {"AK9*R*1*1*1*4"}},
        {"bad date", {with({po("0001", "BEG*00*SA*PO1**20261399~")})},
         {"AK3*BEG*2**8", "AK4*5**8*20261399", "AK5*R*5"}},
        {"bad time", {with({po("0001", "DTM*002*20261207*2575~")})}, {"AK3*DTM*2**8", "AK4*3**9*2575"}},
        {"letters in a quantity", {with({po("0001", "PO1*1*1O*EA*9.95~")})}, {"AK4*2**6*1O"}},
        {"a control character is not echoed", {with({po("0001", "PO1*1*1\x01*EA~")})}, {"AK4*2**6"}},
        {"ST02 too short", {with({po("001")})}, {"AK3*ST*1**8", "AK4*2**4*001", "AK5*R*5"}},
        {"several faults, all reported", {with({po("0001", "PO1*1*X*EA*Y~", 4)})},
         {"AK4*2**6*X", "AK4*4**6*Y", "AK5*R*5*4"}},
    };
    AckOptions full;
    full.detail = AckDetail::Full;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string ack = only(file(e, c.groups), full);
        for (const std::string &s : c.expected)
            EXPECT_TRUE(has(ack, s)) << s << " not in\n" << ack;
    }
    // The GS's own date.
    Group badDate = clean;
    badDate.date = "20261301";
    EXPECT_TRUE(has(only(file(e, {badDate})), "AK9*R*1*1*1*30"));
    // No GE at all: the IEA closes the group.
    std::string noGE = file(e, {clean});
    noGE.erase(noGE.find("GE*"), noGE.find("IEA") - noGE.find("GE*"));
    EXPECT_TRUE(has(only(noGE), "AK9*R*1*1*1*3"));
}

TEST(Acknowledgment, EnvelopeFaultsGetATA1BeforeTheFirstGroup)
{
    Envelope e;
    e.control = "000000123";
    Group g;
    g.sets = {po("0001")};
    const std::pair<std::string, std::string> cases[] = {
        {file(e, {g}, "IEA*1*000000124~"), "TA1*000000123*261207*0930*E*001"},
        {file(e, {g}, "IEA*2*000000123~"), "TA1*000000123*261207*0930*E*021"},
        {file(e, {g}, " "), "TA1*000000123*261207*0930*E*023"},
    };
    for (const auto &[text, ta1] : cases) {
        const std::string ack = only(text);
        EXPECT_TRUE(has(ack, ta1)) << ack;
        EXPECT_EQ(tags(ack).substr(0, 11), "ISA TA1 GS ") << "the groups are still answered";
    }
    Envelope badDate = e;
    badDate.date = "261307";
    EXPECT_TRUE(has(only(file(badDate, {g})), "TA1*000000123*261307*0930*E*014"));
    // Asked for with ISA14 = 1: an accepting TA1; never with --ta1 never.
    e.ackRequested = '1';
    EXPECT_TRUE(has(only(file(e, {g})), "TA1*000000123*261207*0930*A*000"));
    AckOptions never;
    never.ta1 = Ta1Mode::Never;
    EXPECT_EQ(tags(only(file(e, {g}), never)).substr(0, 7), "ISA GS ");
}

TEST(Acknowledgment, ADuplicateInterchangeIsRejectedWithItsTA1Only)
{
    Envelope e;
    Group g;
    g.sets = {po("0001")};
    MemoryNumbering numbering;
    const auto first = acknowledge(file(e, {g}), {}, &numbering);
    const auto again = acknowledge(file(e, {g}), {}, &numbering);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(tags(again[0].text), "ISA TA1 IEA ");
    EXPECT_TRUE(has(again[0].text, "TA1*000000001*261207*0930*R*025"));
    EXPECT_NE(first[0].ackControl, again[0].ackControl);
    // Another sender may use the same number.
    e.sender = "OTHER";
    EXPECT_EQ(tags(acknowledge(file(e, {g}), {}, &numbering)[0].text).substr(0, 7), "ISA GS ");
}

TEST(Acknowledgment, TheAnswersEnvelope)
{
    Envelope e;
    e.repetition = '^';
    e.version = "00501";
    e.control = "000000007";
    Group g;
    g.sets = {po("0001")};
    const std::string ack = only(file(e, {g}));
    const auto segs = segmentsOf(ack);
    ASSERT_GE(segs.size(), 3u);
    // Sender and receiver swapped, ISA11/12/15 and the separators copied, ISA14 0.
    EXPECT_EQ(segs[0], "ISA*00*          *00*          *ZZ*RECEIVER       *ZZ*SENDER         *" +
                           std::string(segs[0].substr(70, 11)) + "*^*00501*000000001*0*P*:");
    EXPECT_EQ(segs[0].size(), 105u);
    EXPECT_TRUE(segs[1].rfind("GS*FA*APPRECV*APPSEND*", 0) == 0) << segs[1];
    EXPECT_TRUE(segs[1].size() > 7 && segs[1].substr(segs[1].size() - 9) == "*X*004010") << "GS08 copied, not ISA12";
    EXPECT_EQ(segs.back(), "IEA*1*000000001");
}

TEST(Acknowledgment, KindAndGrouping)
{
    const Envelope e;
    Group a, b, c, fa;
    a.sets = b.sets = c.sets = {po("0001")};
    b.control = "18";
    c.control = "19";
    c.receiver = "OTHERAPP";
    fa.id = "FA";
    fa.control = "20";
    fa.sets = {"ST*997*0001~AK1*PO*1~AK9*A*1*1*1~SE*4*0001~"};
    // a and b share sender and receiver: one FA group of two 997s; c its own.
    const std::string ack = only(file(e, {a, b, c, fa}));
    EXPECT_EQ(tags(ack), "ISA GS ST AK1 AK9 SE ST AK1 AK9 SE GE GS ST AK1 AK9 SE GE IEA ");
    EXPECT_TRUE(has(ack, "AK1*PO*18"));
    EXPECT_FALSE(has(ack, "AK1*FA*20")) << "an acknowledgment is never acknowledged";
    EXPECT_TRUE(has(ack, "IEA*2*000000001"));
    // Only acknowledgments: nothing to answer.
    EXPECT_TRUE(acknowledge(file(e, {fa}))[0].text.empty());

    // 5010 health care: a 999 with the convention in GS08 and ST03, AK103 the received GS08.
    Group h;
    h.id = "HC";
    h.version = "005010X222A1";
    h.sets = {"ST*837*0001*005010X222A1~BHT*0019~SE*3*0001~"};
    const std::string ack999 = only(file(e, {h}));
    EXPECT_TRUE(has(ack999, "ST*999*0001*005010X231A1"));
    EXPECT_TRUE(has(ack999, "AK1*HC*17*005010X222A1"));
    EXPECT_NE(ack999.find("*X*005010X231A1~"), std::string::npos);
    AckOptions k997;
    k997.kind = AckKind::Fa997;
    EXPECT_TRUE(has(only(file(e, {h}), k997), "ST*997*0001"));
    AckOptions sets999;
    sets999.kind = AckKind::Fa999;
    sets999.detail = AckDetail::Full;
    Group bad = a;
    bad.sets = {po("0001", "BEG*00*SA*PO1**2026XX07~")};
    const std::string ik = only(file(e, {bad}), sets999);
    EXPECT_TRUE(has(ik, "IK3*BEG*2**8") && has(ik, "IK4*5**8*2026XX07") && has(ik, "IK5*R*5")) << ik;
}

TEST(Acknowledgment, DetailLevels)
{
    const Envelope e;
    Group g;
    g.sets = {po("0001"), po("0002", "BEG*00*SA*PO1**20261399~")};
    const std::pair<AckDetail, std::string> levels[] = {
        {AckDetail::Group, "ISA GS ST AK1 AK9 SE GE IEA "},
        {AckDetail::Sets, "ISA GS ST AK1 AK2 AK5 AK2 AK5 AK9 SE GE IEA "},
        {AckDetail::Errors, "ISA GS ST AK1 AK2 AK3 AK4 AK5 AK9 SE GE IEA "},
        {AckDetail::Full, "ISA GS ST AK1 AK2 AK5 AK2 AK3 AK4 AK5 AK9 SE GE IEA "},
    };
    for (const auto &[detail, expected] : levels) {
        AckOptions o;
        o.detail = detail;
        const std::string ack = only(file(e, {g}), o);
        EXPECT_EQ(tags(ack), expected);
        EXPECT_TRUE(has(ack, "AK9*P*2*2*1"));
    }
}

TEST(Acknowledgment, InputThatCannotBeAnswered)
{
    EXPECT_THROW(acknowledge("hello, world\n"), AckInputError);
    std::string brokenIsa = acktest::isa(Envelope{});
    brokenIsa.erase(40, 3);   // the fixed widths are gone
    EXPECT_THROW(acknowledge(brokenIsa + "~GS*PO~"), AckInputError);
}

// Answers of every shape: faults at each level, TA1s, 997 and 999, every
// detail level, a duplicate, several groups and interchanges.
std::vector<std::string> answersOfEveryShape()
{
    Envelope e;
    Envelope rep = e;
    rep.repetition = '^';
    rep.version = "00501";
    rep.ackRequested = '1';
    Group clean, faults, h, other;
    clean.sets = {po("0001"), po("0002")};
    faults.sets = {po("0001", "BEG*00*SA*PO1**20261399~PO1*1*1\x01*EA~", 5), po("0001"),
                   "ST*850*0003~BEG*00*SA*PO1**20261207~"};
    faults.trailer = "GE*5*18~";
    h.id = "HC";
    h.version = "005010X222A1";
    h.sets = {"ST*837*0001*005010X222A1~BHT*0019~SE*3*0001~", "ST*837*0002*005010X222A1~DTM*472*2026*99~SE*3*0002~"};
    other.receiver = "OTHERAPP";
    other.sets = {po("0001")};
    const std::string inputs[] = {
        file(e, {clean}),
        file(e, {clean, faults, h, other}),
        file(rep, {h, clean}, "IEA*3*000000002~"),
        file(e, {faults}, " "),
    };
    std::vector<std::string> answers;
    MemoryNumbering numbering;
    for (const AckDetail d : {AckDetail::Group, AckDetail::Sets, AckDetail::Errors, AckDetail::Full})
        for (const AckKind k : {AckKind::Auto, AckKind::Fa997, AckKind::Fa999})
            for (const std::string &in : inputs) {
                AckOptions o;
                o.detail = d;
                o.kind = k;
                o.ta1 = Ta1Mode::Always;
                numbering.seen.clear();
                for (const AckInterchange &ic : acknowledge(in + in, o, &numbering))   // the second: a duplicate
                    answers.push_back(ic.text);
            }
    return answers;
}

// The oracles: an independent X12 parser reads every answer into the
// segments we wrote, and our own check passes each.
TEST(Acknowledgment, EveryAnswerParsesElsewhereAndPassesOurCheck)
{
    const std::vector<std::string> answers = answersOfEveryShape();
    ASSERT_EQ(answers.size(), 96u);
    acktest::ScratchDir dir;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < answers.size(); ++i)
        files.push_back(dir.file("ack" + std::to_string(i) + ".x12", answers[i]));
    for (const std::string &f : files) {
        std::ostringstream out, err;
        const int code = pelldrake::edi::tool::run({"check", f}, out, err);
        EXPECT_EQ(code, 0) << acktest::readFile(f) << out.str() << err.str();
    }
    if (std::system("perl -MX12::Parser -e 1 2>/dev/null") != 0)
        GTEST_SKIP() << "X12::Parser (libx12-parser-perl) is not installed";
    const std::string script = dir.file("parse.pl", R"(use strict; use X12::Parser;
my $cf = (grep { -e } map { "$_/X12/Parser/cf/997.cf" } @INC)[0] or die "no 997.cf";
for my $f (@ARGV) {
    my $p = X12::Parser->new; $p->parsefile(file => $f, conf => $cf);
    open(my $out, '>', "$f.seen") or die;
    while (my $loop = $p->get_next_loop) { print $out "$_\n" for $p->get_loop_segments; }
    close $out;
})");
    std::string args;
    for (const std::string &f : files)
        args += " " + f;
    ASSERT_EQ(std::system(("perl " + script + args).c_str()), 0);
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::vector<std::string> seen;
        std::istringstream in(acktest::readFile(files[i] + ".seen"));
        for (std::string line; std::getline(in, line);)
            seen.push_back(line);
        EXPECT_EQ(seen, segmentsOf(answers[i])) << answers[i];
    }
}

// The builder a program places values with: it keeps the structure sound.
TEST(SegmentBuilder, PlacesValuesAndRefusesSeparators)
{
    X12Separators sep;
    sep.repetition = '^';
    SegmentBuilder b(sep, "\r\n");
    b.begin("N1").element("ST").element("").element("X").element("").element("").end();
    b.begin("SLN").element(7, 4).composite({"EA", "", "3", "", ""}).composite({"", ""}).element("").end();
    EXPECT_EQ(b.text(), "N1*ST**X~\r\nSLN*0007*EA::3~\r\n");
    EXPECT_EQ(b.segmentCount(), 2u);
    for (const char *bad : {"A*B", "A~B", "A:B", "A^B"})
        EXPECT_THROW(b.begin("N1").element(bad), X12ValueError) << bad;
    EXPECT_THROW(b.composite({"A", "B:C"}), X12ValueError);
    X12Separators clash = sep;
    clash.component = '*';
    EXPECT_THROW(SegmentBuilder{clash}, X12ValueError);
    EXPECT_THROW(SegmentBuilder(sep, " "), X12ValueError);
}
