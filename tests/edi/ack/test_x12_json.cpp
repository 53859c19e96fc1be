// The JSON form: X12 -> JSON -> X12 gives the same bytes on files built to
// be awkward; the JSON is valid, follows the schema and says what it should;
// from-json refuses what would not come back the same.
#include "edi/x12_json.h"
#include "x12_files.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>

using namespace pelldrake::edi;
using acktest::Envelope;

namespace {

// One purchase order group around body segments, with terminator t and what
// follows each terminator.
std::string interchange(const Envelope &e, const std::string &body, const std::string &t = "~",
                        const std::string &after = "")
{
    const std::string s(1, e.element);
    std::string text = acktest::isa(e) + t + after;
    text += "GS" + s + "PO" + s + e.sender + s + e.receiver + s + "20261207" + s + "0930" + s + "17" + s + "X" + s +
            "004010" + t + after;
    text += "ST" + s + "850" + s + "0001" + t + after + body;
    text += "SE" + s + "3" + s + "0001" + t + after + "GE" + s + "1" + s + "17" + t + after;
    text += "IEA" + s + "1" + s + e.control + t + after;
    return text;
}

std::string beg(const std::string &t = "~", const std::string &after = "")
{
    return "BEG*00*SA*PO1**20261207" + t + after;
}

struct Case {
    const char *name;
    std::string text;
};

std::vector<Case> awkwardFiles()
{
    Envelope e;
    Envelope rep;
    rep.repetition = '^';
    rep.version = "00501";
    Envelope bar;
    bar.element = '|';
    bar.component = '>';
    Envelope ctrl;   // separators that are control characters
    ctrl.element = '\x1d';
    ctrl.component = '\x1f';
    Envelope zeros;
    zeros.control = "000000042";
    Envelope ta1 = e;
    std::string ta1Only = acktest::isa(ta1) + "~TA1*000000017*261207*0930*A*000~IEA*0*000000001~";
    std::string big;
    for (int i = 0; i < 60000; ++i)   // several MB: segments cross the converters' windows
        big += "PO1*" + std::to_string(i) + "*10*EA*9.95**VP*W" + std::to_string(i) + "~\r\n";
    std::string ctrlBody = "BEG\x1d" "00\x1d" "SA\x1dPO1\x1d\x1d" "20261207\x1c";
    std::string ctrlFile = acktest::isa(ctrl) + "\x1c" + "ST\x1d" "850\x1d" "0001\x1c" + ctrlBody + "IEA\x1d" "1\x1d" +
                           ctrl.control + "\x1c";
    return {
        {"tilde, no suffix", interchange(e, beg())},
        {"CR LF after each terminator", interchange(e, beg("~", "\r\n"), "~", "\r\n")},
        {"LF after each terminator", interchange(e, beg("~", "\n"), "~", "\n")},
        {"CR after each terminator", interchange(e, beg("~", "\r"), "~", "\r")},
        {"space before the terminator", interchange(e, "N1*ST*ACME ~BEG*00*SA*PO1 ~")},
        {"ISA11 repetition separator", interchange(rep, "PER*IC*A^B^C~REF*ZZ*1:2^3:4~")},
        {"4010 U with a caret in a value", interchange(e, "MSG*A^B~")},
        {"components", interchange(e, "SLN*1**O*1*EA:2:3*4~N1*ST*::~")},
        {"leading-zero control numbers", interchange(zeros, beg())},
        {"trailing empty elements", interchange(e, "N1*ST*X***~REF*ZZ*~")},
        {"empty elements inside", interchange(e, "BEG*00*SA***20261207~")},
        {"trailing empty components", interchange(e, "SLN*1**O*1*EA:::~")},
        {"TA1-only interchange", ta1Only},
        {"several interchanges", interchange(e, beg()) + interchange(zeros, beg())},
        {"several interchanges, CR LF between", interchange(e, beg()) + "\r\n" + interchange(zeros, beg(), "~", "\n")},
        {"different separators per interchange", interchange(e, beg()) + interchange(bar, "N1|ST|A>B~")},
        {"transport bytes before the ISA", "$ADD=X400$\r\n" + interchange(e, beg())},
        {"text after the IEA", interchange(e, beg()) + "EOF MARKER"},
        {"text between interchanges", interchange(e, beg()) + "--\r\n" + interchange(zeros, beg())},
        {"last segment without terminator", interchange(e, beg()).substr(0, interchange(e, beg()).size() - 1)},
        {"line breaks differ per segment", interchange(e, beg("~", "\r\n\r\n"), "~", "\n") + "\r\n"},
        {"blank lines after segments", interchange(e, beg("~", "\n\n"), "~", "\r\n\r\n")},
        {"line feed as terminator", interchange(e, "BEG*00*SA*PO1**20261207\n", "\n")},
        {"bar and greater-than separators", interchange(bar, "N1|ST|A>B|C~")},
        {"control character separators", ctrlFile},
        {"single-byte accented letters", interchange(e, "N1*ST*Caf\xe9 \xc5land\xff~")},
        {"UTF-8 letters", interchange(e, "N1*ST*Caf\xc3\xa9 \xe6\x9d\xb1\xe4\xba\xac \xf0\x9f\x93\xa6~")},
        {"broken UTF-8", interchange(e, "N1*ST*\xc3\x28\xe2\x82~")},
        {"quotes, backslashes, tabs", interchange(e, "MSG*say \"hi\"\\n\ttab\x01\x7f~")},
        {"empty segment", interchange(e, "~" + beg())},
        {"no IEA, file ends", interchange(e, beg()).substr(0, interchange(e, beg()).find("IEA"))},
        {"no IEA, next ISA follows", interchange(e, beg()).substr(0, interchange(e, beg()).find("IEA")) +
                                         interchange(zeros, beg())},
        {"ISA text that is no header", "ISA is the tag\r\n" + interchange(e, beg())},
        {"ISA only", acktest::isa(e) + "~\r\n"},
        {"STC inside a set", interchange(e, "STC*A1:20*20261207~")},
        {"large file", interchange(e, big, "~", "\r\n")},
    };
}

} // namespace

TEST(X12Json, RoundTripIsByteIdenticalOnAwkwardFiles)
{
    const auto cases = awkwardFiles();
    ASSERT_GE(cases.size(), 30u);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string json;
        ASSERT_NO_THROW(json = x12ToJson(c.text));
        ASSERT_TRUE(nlohmann::json::accept(json)) << json.substr(0, 2000);
        std::string back;
        ASSERT_NO_THROW(back = jsonToX12(json)) << json.substr(0, 2000);
        EXPECT_EQ(back, c.text);
    }
}

TEST(X12Json, RoundTripOfTheSampleFiles)
{
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(PELLDRAKE_SAMPLES_DIR "/x12")) {
        SCOPED_TRACE(entry.path().string());
        const std::string text = acktest::readFile(entry.path());
        std::string json;
        try {
            json = x12ToJson(text);
        } catch (const X12FormError &) {
            continue;   // an ISA wrapped over two lines is not read as one
        }
        EXPECT_EQ(jsonToX12(json), text);
        ++files;
    }
    EXPECT_GE(files, 3);
}

TEST(X12Json, TheFormSaysWhatTheIssueAsks)
{
    Envelope rep;
    rep.repetition = '^';
    rep.control = "000000042";
    const std::string text = interchange(rep, "N1*ST*X**~\r\nPER*IC*A^B:C~\r\n", "~", "\r\n");
    const auto j = nlohmann::json::parse(x12ToJson(text));
    const auto &ic = j["interchanges"][0];
    EXPECT_EQ(ic["separators"]["repetition"], "^");
    EXPECT_EQ(ic["end"], "~\r\n");
    const auto &isa = ic["segments"][0];
    EXPECT_EQ(isa.size(), 17u);
    EXPECT_EQ(isa[6], "SENDER         ");   // padding kept
    EXPECT_EQ(isa[11], "^");
    EXPECT_EQ(isa[13], "000000042");        // a string, zeros kept
    const auto &n1 = ic["segments"][3];
    EXPECT_EQ(n1, nlohmann::json::parse(R"(["N1","ST","X","",""])"));
    const auto &per = ic["segments"][4];
    EXPECT_EQ(per, nlohmann::json::parse(R"(["PER","IC",[["A"],["B","C"]]])"));
}

TEST(X12Json, OutputFollowsTheSchema)
{
    if (std::system("python3 -c 'import jsonschema' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-jsonschema is not installed";
    acktest::ScratchDir dir;
    const auto cases = awkwardFiles();
    std::string list;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        if (cases[i].text.size() > 100000)
            continue;
        list += " " + dir.file("f" + std::to_string(i) + ".json", x12ToJson(cases[i].text));
    }
    const std::string script = dir.file("validate.py",
                                        "import json, sys, jsonschema\n"
                                        "schema = json.load(open(sys.argv[1]))\n"
                                        "jsonschema.Draft202012Validator.check_schema(schema)\n"
                                        "for f in sys.argv[2:]:\n"
                                        "    jsonschema.validate(json.load(open(f)), schema,"
                                        " cls=jsonschema.Draft202012Validator)\n");
    EXPECT_EQ(std::system(("python3 " + script + " " PELLDRAKE_SCHEMA_DIR "/x12.schema.json" + list).c_str()), 0);
}

TEST(X12Json, RefusesWhatIsNoX12)
{
    EXPECT_THROW(x12ToJson(std::string("hello, world\n")), X12FormError);
    EXPECT_THROW(x12ToJson(std::string()), X12FormError);
    // Separators that clash cannot be told apart.
    Envelope clash;
    clash.component = '*';
    EXPECT_THROW(x12ToJson(acktest::isa(clash) + "~"), X12FormError);
}

TEST(X12Json, RefusesJsonThatWouldNotComeBackTheSame)
{
    Envelope e;
    const std::string good = x12ToJson(interchange(e, beg()));
    auto edited = [&](const std::string &from, const std::string &to) {
        std::string j = good;
        const auto at = j.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return j.replace(at, from.size(), to);
    };
    const std::pair<std::string, std::string> bad[] = {
        {R"("PO1")", R"("PO*1")"},                      // element separator in a value
        {R"("PO1")", R"("PO:1")"},                      // component separator in a plain value
        {R"("PO1")", R"("PO~1")"},                      // terminator in a value
        {R"(["BEG")", R"({"elements":["BEG")"},          // object form without its "end"
        {R"("end":"~")", R"("end":"~X")"},               // an end that would start the next segment
        {R"("end":"~")", R"("end":"")"},                 // an empty default end
        {R"("0930","U")", R"("0930","^")"},              // ISA11 disagrees with "separators"
        {R"("00401")", R"("0041")"},                     // ISA no longer 106 characters
        {R"({"element":"*")", R"({"component":"*")"},    // keys out of order
        {R"("x12json":"1")", R"("x12json":"2")"},
        {R"("PO1")", R"(["PO","1"])"},                   // a composite must be an array of arrays
        {R"("PO1")", R"([["PO"],["1"]])"},               // repetitions without a separator
        {R"("PO1")", "\"PO\\ud800\""},                  // a lone surrogate
    };
    for (const auto &[from, to] : bad) {
        SCOPED_TRACE(to);
        EXPECT_THROW(jsonToX12(edited(from, to)), X12FormError);
    }
    EXPECT_THROW(jsonToX12(good + "x"), X12FormError);
    EXPECT_THROW(jsonToX12(good.substr(0, good.size() / 2)), X12FormError);
    // A segment without terminator may only be the last.
    std::string cut = good;
    cut.replace(cut.find(R"(["BEG")"), 0, R"({"elements":["N1"],"end":""},)");
    EXPECT_THROW(jsonToX12(cut), X12FormError);
}

TEST(X12Json, KeysOtherProgramsWriteAreReadWithEscapes)
{
    // A program that places the components itself may escape what it likes.
    const std::string isaText = acktest::isa(Envelope{});
    nlohmann::json isaElements = nlohmann::json::array();
    std::size_t from = 0;
    for (int k = 0; k < 17; ++k) {
        const std::size_t to = k < 16 ? isaText.find('*', from) : isaText.size();
        isaElements.push_back(isaText.substr(from, to - from));
        from = to + 1;
    }
    const nlohmann::json segments = {isaElements,
                                     {"N1", "ST", "\u00e9\u6771", nlohmann::json::array({{"A", "B"}})},
                                     {"IEA", "0", "000000001"}};
    // nlohmann orders keys by name; from-json wants to-json's order, so the
    // objects are written by hand around its arrays.
    const std::string text =
        R"({"x12json":"1","interchanges":[{"separators":{"element":"*","component":":","repetition":"","segment":"~"},)"
        R"("end":"~\n","segments":)" +
        segments.dump(-1, ' ', true) + "}]}";
    EXPECT_EQ(jsonToX12(text), isaText + "~\nN1*ST*\xe9\xe6\x9d\xb1*A:B~\nIEA*0*000000001~\n");
}
