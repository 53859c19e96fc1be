// Splitting generated interchanges and loading every group file gives back
// every segment of the input exactly once, in order, each group wrapped in
// its own interchange's envelope.
#include "edi/recv_translate_to.h"
#include "x12_fixture.h"

#include <gtest/gtest.h>

using namespace x12test;
using pelldrake::edi::TlynEDIRecvTranslateTo;

namespace {

std::string randomElement(std::mt19937 &rng)
{
    static const std::string alphabet = "ABCxyz0189 -.,:'>";
    std::uniform_int_distribution<int> len(0, 12);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(alphabet.size()) - 1);
    int n = len(rng);
    if (rng() % 40 == 0)
        n = 900 + static_cast<int>(rng() % 2500); // crosses block boundaries
    std::string s;
    for (int i = 0; i < n; ++i)
        s += alphabet[static_cast<std::size_t>(pick(rng))];
    return s;
}

InterchangePlan randomInterchange(std::mt19937 &rng, int number)
{
    static const char *const tags[] = {"BEG", "REF", "N1", "N3", "PO1", "PID", "DTM", "CTT", "MSG", "IT1", "TD5"};
    static const char *const codes[] = {"850", "810", "856"};
    InterchangePlan ic;
    ic.sender = number % 2 ? "SENDER" + std::to_string(number) : "ACME";
    ic.receiver = rng() % 2 ? "WIDGETCO" : "BUYER";
    char ctl[16];
    std::snprintf(ctl, sizeof ctl, "%09d", 100 + number);
    ic.control = ctl;
    ic.subSep = rng() % 2 ? '>' : ':';
    ic.groups.clear();
    const int groups = 1 + static_cast<int>(rng() % 3);
    for (int g = 0; g < groups; ++g) {
        GroupPlan grp;
        grp.code = codes[rng() % 3];
        grp.sets = 1 + static_cast<int>(rng() % 3);
        const int segs = static_cast<int>(rng() % 7);
        for (int k = 0; k < segs; ++k) {
            std::string seg = tags[rng() % 11];
            const int elems = 1 + static_cast<int>(rng() % 6);
            for (int e = 0; e < elems; ++e)
                seg += "*" + randomElement(rng);
            grp.body.push_back(seg);
        }
        if (grp.body.empty())
            grp.body.push_back("BEG*00");
        ic.groups.push_back(grp);
    }
    return ic;
}

std::string separatorLine(Style style) { return style == Style::CRLFOnly ? "10" : "126"; }

// Splits text, the interchanges ics one after the other, each rendered in its
// own style, and checks every group file and every transaction set loaded
// from it.
void expectEverySegmentBack(const std::string &text, const std::vector<InterchangePlan> &ics,
                            const std::vector<Style> &styles)
{
    // The group files we expect, in writing order.
    std::vector<std::vector<std::string>> expected;
    for (std::size_t n = 0; n < ics.size(); ++n) {
        const auto &ic = ics[n];
        const auto segs = segments(ic);
        std::size_t i = 1;
        for (std::size_t g = 0; g < ic.groups.size(); ++g) {
            std::vector<std::string> grp{separatorLine(styles[n]), "42", std::string(1, ic.subSep), segs[0]};
            do
                grp.push_back(segs[i]);
            while (segs[i++].rfind("GE*", 0) != 0);
            if (g + 1 < ic.groups.size())
                grp.push_back(segs.back());
            expected.push_back(grp);
        }
    }

    WorkDir wd;
    writeFile(wd.input() / "input.x12", text);
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = wd.input().string();
    ASSERT_TRUE(r.parseEDIData());
    const auto files = wd.groupFiles();
    ASSERT_EQ(files.size(), expected.size());
    for (std::size_t f = 0; f < files.size(); ++f) {
        ASSERT_EQ(lines(readFile(files[f])), expected[f]) << files[f];

        // Loading the group file gives back each transaction set whole.
        r.loadEDIData(files[f].string());
        const auto &exp = expected[f];
        int set = 0;
        for (std::size_t i = 4; i < exp.size(); ++i) {
            if (exp[i].rfind("ST*", 0) != 0)
                continue;
            r.loadDocument(++set);
            ASSERT_GT(r.segmentCount, 0);
            for (int k = 0; k < r.segmentCount; ++k)
                ASSERT_EQ(r.segmentList[static_cast<std::size_t>(k)], exp[i + static_cast<std::size_t>(k)]);
            EXPECT_EQ(r.getSegmentName(r.segmentCount - 1), "SE");
        }
        EXPECT_EQ(set, r.transactionSetCount);
    }
}

const Style kStyles[] = {Style::Tilde,    Style::TildeCRLF,  Style::TildeLF,
                         Style::CRLFOnly, Style::Wrap80CRLF, Style::Wrap80LF};

} // namespace

TEST(SplitProperty, EverySegmentComesBackOnceInOrder)
{
    for (unsigned seed = 1; seed <= 48; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        const Style style = kStyles[seed % 6];
        const int count = 1 + static_cast<int>(rng() % 3);
        std::vector<InterchangePlan> ics;
        std::string text = seed % 5 == 0 ? "TRANSPORT\r\n" : "";
        for (int i = 0; i < count; ++i) {
            ics.push_back(randomInterchange(rng, i));
            text += render(segments(ics.back()), style);
        }
        if (seed % 4 == 0)
            text += "\r\n   \r\n";
        expectEverySegmentBack(text, ics, std::vector<Style>(ics.size(), style));
    }
}

// Each interchange of a file brings its own terminator and line breaks: one
// cut with the style of the interchange before it would lose or merge segments.
TEST(SplitProperty, InterchangesOfMixedStylesInOneFile)
{
    for (unsigned seed = 1; seed <= 48; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(1000 + seed);
        const int count = 2 + static_cast<int>(rng() % 2);
        std::vector<InterchangePlan> ics;
        std::vector<Style> styles;
        std::string text;
        for (int i = 0; i < count; ++i) {
            ics.push_back(randomInterchange(rng, i));
            styles.push_back(kStyles[rng() % 6]);
            text += render(segments(ics.back()), styles.back());
        }
        expectEverySegmentBack(text, ics, styles);
    }
}
