#include "edi/acknowledgment.h"

#include "edi/file_util.h"
#include "edi/interchange_splitter.h"
#include "edi/x12_text.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace pelldrake::edi {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    return s;
}

bool isDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number for a count element, -1 when it is none.
long long countOf(std::string_view s)
{
    if (!isDigits(s) || s.size() > 12)
        return -1;
    return std::stoll(std::string(s));
}

// An element's position as the reports name it: BEG05.
std::string twoDigits(int n)
{
    return n < 10 ? "0" + std::to_string(n) : std::to_string(n);
}

// A bad value may be echoed only when it cannot break the answer.
bool echoable(std::string_view value, const X12Separators &sep)
{
    return std::none_of(value.begin(), value.end(), [&](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f || sep.isSeparator(c);
    });
}

struct ElementFault {
    int position;
    int code;
    std::string value;   // empty when not to be echoed
};

struct SegmentFault {
    std::string tag;
    long long position;   // from ST = 1
    std::vector<ElementFault> elements;
};

struct SetAnswer {
    std::string id, control, convention;   // ST01..ST03
    std::vector<std::string> codes;        // AK502..
    std::vector<SegmentFault> segments;
    bool rejected() const { return !codes.empty(); }
};

struct GroupState {
    AckGroupSummary summary;
    std::string sender, receiver;   // GS02, GS03
    std::vector<SetAnswer> sets;    // those the detail level answers
    std::unordered_set<std::string> setControls;
    bool closed = false;
};

class Acknowledger : public SegmentCutter::Handler {
public:
    Acknowledger(SegmentCutter &cutter, std::string name, const AckOptions &options, AckNumbering &numbering,
                 const std::function<void(AckInterchange &)> &onInterchange)
        : m_cutter(cutter), m_name(std::move(name)), m_options(options), m_numbering(numbering),
          m_onInterchange(onInterchange), m_rules(m_options.rules)
    {
    }

    SegmentCutter::Action segment(std::string_view raw) override
    {
        // Blanks before a segment (after a missing terminator's line break)
        // are no part of its tag.
        while (!raw.empty() && static_cast<unsigned char>(raw.front()) <= ' ' && raw.front() != m_cutter.terminator())
            raw.remove_prefix(1);
        std::string_view seg = raw;
        if (!seg.empty() && seg.back() == m_cutter.terminator())
            seg.remove_suffix(1);
        if (seg.size() >= 3 && seg.substr(0, 3) == "ISA" && (seg.size() == 3 || !std::isalnum(static_cast<unsigned char>(seg[3])))) {
            finishInterchange();
            if (!startInterchange(raw))
                return SegmentCutter::Action::Stop;
            return SegmentCutter::Action::Next;
        }
        if (!m_open)
            return SegmentCutter::Action::SkipToISA;
        split(seg);
        const std::string_view tag = m_el[0];
        if (tag == "GS")
            startGroup();
        else if (tag == "GE")
            endGroup();
        else if (tag == "IEA") {
            endInterchange();
            return SegmentCutter::Action::SkipToISA;
        } else if (tag == "ST")
            startSet();
        else if (tag == "SE")
            endSet();
        else if (m_inSet)
            bodySegment();
        return SegmentCutter::Action::Next;
    }

    void finish() { finishInterchange(); }
    const std::string &badIsa() const { return m_badIsa; }

private:
    void split(std::string_view seg)
    {
        m_el.clear();
        std::size_t from = 0;
        for (;;) {
            const std::size_t to = seg.find(m_sep.element, from);
            m_el.push_back(seg.substr(from, to == std::string_view::npos ? std::string_view::npos : to - from));
            if (to == std::string_view::npos)
                break;
            from = to + 1;
        }
    }
    std::string_view el(std::size_t i) const { return i < m_el.size() ? m_el[i] : std::string_view(); }

    void note(std::string text) { m_ic.findings.push_back(std::move(text)); }

    // ---- interchange

    bool startInterchange(std::string_view isa)
    {
        if (isa.size() != 106 || !looksLikeISA(isa)) {
            m_badIsa = "the interchange header (ISA) at interchange " + std::to_string(m_count + 1) + " of \"" +
                       m_name + "\" cannot be read, so no TA1 can be formed";
            return false;
        }
        ++m_count;
        m_sep = X12Separators::ofISA(isa);
        try {
            m_sep.validate();
        } catch (const X12ValueError &e) {
            m_badIsa = "the interchange header (ISA) of \"" + m_name + "\" cannot be read: " + e.what();
            return false;
        }
        m_isa.assign(isa.substr(0, 105));
        split(m_isa);
        m_ic = AckInterchange{};
        m_ic.sender = std::string(trimmed(el(5))) + "/" + std::string(trimmed(el(6)));
        m_ic.receiver = std::string(trimmed(el(7))) + "/" + std::string(trimmed(el(8)));
        m_ic.control = std::string(el(13));
        m_ackRequested = el(14) == "1";
        m_groups.clear();
        m_group = nullptr;
        m_inSet = false;
        m_envelopeCodes.clear();
        m_open = true;
        m_ended = false;
        checkIsaRules();
        m_duplicate = m_numbering.receivedBefore(m_ic.sender, m_ic.control);
        if (m_duplicate) {
            m_envelopeCodes.push_back("025");
            note("interchange " + m_ic.control + " from " + m_ic.sender + " was received before (TA105 025)");
        }
        return true;
    }

    // The rules on ISA09, ISA10 and ISA13 give the TA1's date, time and
    // control number notes.
    void checkIsaRules()
    {
        const auto *rules = m_rules.find("ISA");
        if (!rules)
            return;
        for (const TypeRule *rule : *rules) {
            const std::string_view value = el(static_cast<std::size_t>(rule->element));
            if (value.empty() || !ruleFault(value, *rule))
                continue;
            const char *code = rule->element == 9 ? "014" : rule->element == 10 ? "015" : rule->element == 13 ? "018" : nullptr;
            if (!code)
                continue;
            m_envelopeCodes.push_back(code);
            note("ISA" + twoDigits(rule->element) + " \"" + std::string(value) + "\" (TA105 " + code + ")");
        }
    }

    void endInterchange()
    {
        closeGroup();
        const long long declared = countOf(el(1));
        if (declared != static_cast<long long>(m_groups.size())) {
            m_envelopeCodes.push_back("021");
            note("IEA01 " + std::string(el(1)) + " but " + std::to_string(m_groups.size()) +
                 " group(s) received (TA105 021)");
        }
        if (el(2) != m_ic.control) {
            m_envelopeCodes.push_back("001");
            note("IEA02 " + std::string(el(2)) + " does not match ISA13 " + m_ic.control + " (TA105 001)");
        }
        m_ended = true;
        finishInterchange();
    }

    void finishInterchange()
    {
        if (!m_open)
            return;
        m_open = false;
        closeGroup();
        if (!m_ended) {
            m_envelopeCodes.push_back("023");
            note("the interchange ends without its IEA (TA105 023)");
        }
        answer();
        m_onInterchange(m_ic);
        if (!m_duplicate)
            m_numbering.remember(m_ic.sender, m_ic.control);
    }

    // ---- groups

    void startGroup()
    {
        closeGroup();
        auto &g = m_groups.emplace_back();
        g.summary.functionalId = std::string(el(1));
        g.sender = std::string(el(2));
        g.receiver = std::string(el(3));
        g.summary.control = std::string(el(6));
        g.summary.version = std::string(el(8));
        g.summary.answered = g.summary.functionalId != "FA";
        m_group = &g;
        checkRules();
    }

    void endGroup()
    {
        if (!m_group) {
            note("GE without its GS");
            return;
        }
        closeSet();
        GroupState &g = *m_group;
        g.summary.declared = static_cast<int>(std::max(0LL, countOf(el(1))));
        if (countOf(el(1)) != g.summary.received) {
            g.summary.groupCodes.push_back("5");
            note("group " + g.summary.control + ": GE01 " + std::string(el(1)) + " but " +
                 std::to_string(g.summary.received) + " set(s) received (AK905 5)");
        }
        if (el(2) != g.summary.control) {
            g.summary.groupCodes.push_back("4");
            note("group " + g.summary.control + ": GE02 " + std::string(el(2)) + " does not match GS06 (AK905 4)");
        }
        checkRules();
        g.closed = true;
        m_group = nullptr;
    }

    // A group still open when the next GS or the IEA comes lacks its GE.
    void closeGroup()
    {
        if (!m_group)
            return;
        closeSet();
        GroupState &g = *m_group;
        g.summary.declared = g.summary.received;
        g.summary.groupCodes.push_back("3");
        note("group " + g.summary.control + " ends without its GE (AK905 3)");
        m_group = nullptr;
    }

    // ---- sets

    void startSet()
    {
        closeSet();
        if (!m_group) {
            note("ST outside a functional group");
            return;
        }
        m_inSet = true;
        m_position = 1;
        m_set = SetAnswer{};
        m_set.id = std::string(el(1));
        m_set.control = std::string(el(2));
        m_set.convention = std::string(el(3));
        ++m_group->summary.received;
        if (!m_group->setControls.insert(m_set.control).second)
            reject("23", "ST02 " + m_set.control + " is not unique in the group (AK502 23)");
        checkRules();
    }

    void endSet()
    {
        if (!m_inSet)
            return;
        ++m_position;
        checkRules();
        if (countOf(el(1)) != m_position)
            reject("4", "SE01 " + std::string(el(1)) + " but " + std::to_string(m_position) +
                            " segments (AK502 4)");
        if (el(2) != m_set.control)
            reject("3", "ST02 " + m_set.control + " and SE02 " + std::string(el(2)) + " differ (AK502 3)");
        storeSet();
    }

    // A set still open when a GS, GE, ST or IEA comes lacks its SE.
    void closeSet()
    {
        if (!m_inSet)
            return;
        reject("2", "the set ends without its SE (AK502 2)");
        storeSet();
    }

    void bodySegment()
    {
        ++m_position;
        checkRules();
    }

    void reject(const char *code, std::string why)
    {
        if (std::find(m_set.codes.begin(), m_set.codes.end(), code) == m_set.codes.end())
            m_set.codes.push_back(code);
        note("set " + m_set.id + " " + m_set.control + ": " + why);
    }

    void storeSet()
    {
        m_inSet = false;
        GroupState &g = *m_group;
        if (!m_set.rejected())
            ++g.summary.accepted;
        const AckDetail d = m_options.detail;
        if (d == AckDetail::Sets || d == AckDetail::Full || (d == AckDetail::Errors && m_set.rejected())) {
            if (d == AckDetail::Sets)
                m_set.segments.clear();
            g.sets.push_back(std::move(m_set));
        }
    }

    // The element rules on the current segment; faults inside a set become
    // its AK3/AK4 detail, those of the envelope are noted.
    void checkRules()
    {
        const auto *rules = m_rules.find(m_el[0]);
        if (!rules)
            return;
        SegmentFault fault;
        for (const TypeRule *rule : *rules) {
            const std::string_view value = el(static_cast<std::size_t>(rule->element));
            const int code = value.empty() ? 0 : ruleFault(value, *rule);
            if (!code)
                continue;
            fault.elements.push_back({rule->element, code, echoable(value, m_sep) ? std::string(value) : std::string()});
            note(std::string(m_el[0]) + twoDigits(rule->element) + " \"" + std::string(value) + "\": AK403 " +
                 std::to_string(code));
        }
        if (fault.elements.empty())
            return;
        if (!m_inSet) {
            groupFaults(fault);
            return;
        }
        fault.tag = std::string(m_el[0]);
        fault.position = m_position;
        if (std::find(m_set.codes.begin(), m_set.codes.end(), "5") == m_set.codes.end())
            m_set.codes.push_back("5");
        m_set.segments.push_back(std::move(fault));
    }

    // Faults of the GS's date, time and control number become the group's
    // AK905 30, 31 and 6; the GE's counts are checked against what came.
    void groupFaults(const SegmentFault &fault)
    {
        if (!m_group || m_el[0] != "GS")
            return;
        for (const ElementFault &e : fault.elements) {
            const char *code = e.position == 4 ? "30" : e.position == 5 ? "31" : e.position == 6 ? "6" : nullptr;
            auto &codes = m_group->summary.groupCodes;
            if (code && std::find(codes.begin(), codes.end(), code) == codes.end())
                codes.push_back(code);
        }
    }

    // ---- the answer

    bool is999(const AckGroupSummary &g) const
    {
        if (m_options.kind != AckKind::Auto)
            return m_options.kind == AckKind::Fa999;
        return g.version.rfind("005010X", 0) == 0;
    }

    static char groupStatus(const AckGroupSummary &g)
    {
        if (!g.groupCodes.empty() || (g.received > 0 && g.accepted == 0))
            return 'R';
        if (g.accepted < g.received)
            return 'P';
        return 'A';
    }

    void answer()
    {
        for (GroupState &g : m_groups)
            g.summary.status = groupStatus(g.summary);
        bool ta1 = m_options.ta1 == Ta1Mode::Always ||
                   (m_options.ta1 == Ta1Mode::Auto && (m_ackRequested || !m_envelopeCodes.empty()));
        const bool anyGroup = !m_duplicate && std::any_of(m_groups.begin(), m_groups.end(),
                                                          [](const GroupState &g) { return g.summary.answered; });
        for (GroupState &g : m_groups) {
            g.summary.answered = g.summary.answered && !m_duplicate;
            m_ic.groups.push_back(g.summary);
        }
        if (!ta1 && !anyGroup)
            return;
        const std::time_t now = m_options.clock ? m_options.clock() : std::time(nullptr);
        std::tm tm{};
#ifdef _WIN32
        localtime_s(&tm, &now);
#else
        localtime_r(&now, &tm);
#endif
        char date8[16], time4[8];
        std::strftime(date8, sizeof date8, "%Y%m%d", &tm);
        std::strftime(time4, sizeof time4, "%H%M", &tm);
        const std::string partner = m_ic.sender;
        const std::int64_t control = m_numbering.nextInterchange(partner);
        const std::string suffix = m_sep.terminator == '\n' || m_sep.terminator == '\r' ? "" : "\n";
        SegmentBuilder out(m_sep, suffix);
        split(m_isa);
        // The ISA keeps its fixed widths: the IDs are padded again.
        std::string isa = "ISA";
        const std::string e(1, m_sep.element);
        auto pad = [](std::string_view s, std::size_t n) {
            std::string t(s);
            t.resize(n, ' ');
            return t;
        };
        char controlText[16];
        std::snprintf(controlText, sizeof controlText, "%09lld", static_cast<long long>(control % 1000000000));
        isa += e + "00" + e + pad("", 10) + e + "00" + e + pad("", 10) + e + std::string(el(7)) + e +
               std::string(el(8)) + e + std::string(el(5)) + e + std::string(el(6)) + e + (date8 + 2) + e + time4 +
               e + std::string(el(11)) + e + std::string(el(12)) + e + controlText + e + "0" + e +
               std::string(el(15)) + e + m_sep.component + m_sep.terminator + suffix;
        std::string text = isa;
        m_ic.ackControl = controlText;
        if (ta1) {
            m_ic.ta1Code = m_envelopeCodes.empty() ? "000" : m_envelopeCodes.front();
            m_ic.ta1Status = m_duplicate ? 'R' : m_envelopeCodes.empty() ? 'A' : 'E';
            out.begin("TA1").element(m_ic.control).element(el(9)).element(el(10))
                .element(std::string(1, m_ic.ta1Status)).element(m_ic.ta1Code).end();
            text += out.take();
        }
        int faGroups = 0;
        if (anyGroup)
            faGroups = writeGroups(out, text, date8, time4, partner);
        text += "IEA" + e + std::to_string(faGroups) + e + controlText + m_sep.terminator + suffix;
        m_ic.text = std::move(text);
    }

    // One FA group per received application sender and receiver and answer
    // version, in order of first appearance.
    int writeGroups(SegmentBuilder &out, std::string &text, const char *date8, const char *time4,
                    const std::string &partner)
    {
        std::vector<bool> done(m_groups.size());
        int faGroups = 0;
        bool have997 = false, have999 = false;
        for (std::size_t i = 0; i < m_groups.size(); ++i) {
            if (done[i] || !m_groups[i].summary.answered)
                continue;
            const GroupState &first = m_groups[i];
            const bool nine = is999(first.summary);
            const std::string version = nine ? k999Version : first.summary.version;
            const std::int64_t gs06 = m_numbering.nextGroup(partner) % 1000000000;
            out.begin("GS").element("FA").element(first.receiver).element(first.sender).element(date8)
                .element(time4).element(gs06).element("X").element(version).end();
            int sets = 0;
            for (std::size_t j = i; j < m_groups.size(); ++j) {
                const GroupState &g = m_groups[j];
                if (done[j] || !g.summary.answered || g.sender != first.sender || g.receiver != first.receiver ||
                    is999(g.summary) != nine || (!nine && g.summary.version != first.summary.version))
                    continue;
                done[j] = true;
                writeSet(out, g, nine, ++sets);
            }
            out.begin("GE").element(sets).element(gs06).end();
            ++faGroups;
            (nine ? have999 : have997) = true;
        }
        text += out.take();
        m_ic.kinds = have997 && have999 ? "997,999" : have999 ? "999" : have997 ? "997" : "";
        return faGroups;
    }

    void writeSet(SegmentBuilder &out, const GroupState &g, bool nine, int number)
    {
        char st02[16];
        std::snprintf(st02, sizeof st02, "%04d", number);
        out.end();
        const std::size_t before = out.segmentCount();
        out.begin("ST").element(nine ? "999" : "997").element(st02);
        if (nine)
            out.element(k999Version);
        out.begin("AK1").element(g.summary.functionalId).element(g.summary.control);
        if (nine)
            out.element(g.summary.version);
        for (const SetAnswer &s : g.sets) {
            out.begin("AK2").element(s.id).element(s.control);
            if (nine)
                out.element(s.convention);
            for (const SegmentFault &f : s.segments) {
                out.begin(nine ? "IK3" : "AK3").element(f.tag).element(f.position).element("").element("8");
                for (const ElementFault &e : f.elements)
                    out.begin(nine ? "IK4" : "AK4").element(e.position).element("").element(e.code).element(e.value);
            }
            out.begin(nine ? "IK5" : "AK5").element(s.rejected() ? "R" : "A");
            for (std::size_t k = 0; k < s.codes.size() && k < 5; ++k)
                out.element(s.codes[k]);
        }
        const AckGroupSummary &sum = g.summary;
        out.begin("AK9").element(std::string(1, sum.status)).element(sum.declared).element(sum.received)
            .element(sum.accepted);
        for (std::size_t k = 0; k < sum.groupCodes.size() && k < 5; ++k)
            out.element(sum.groupCodes[k]);
        out.end();
        const auto count = static_cast<long long>(out.segmentCount() - before) + 1;
        out.begin("SE").element(count).element(st02).end();
    }

    SegmentCutter &m_cutter;
    std::string m_name;
    const AckOptions &m_options;
    AckNumbering &m_numbering;
    const std::function<void(AckInterchange &)> &m_onInterchange;
    RuleIndex m_rules;

    X12Separators m_sep;
    std::vector<std::string_view> m_el;
    std::string m_isa;
    AckInterchange m_ic;
    std::vector<GroupState> m_groups;
    GroupState *m_group = nullptr;
    SetAnswer m_set;
    long long m_position = 0;
    bool m_inSet = false;
    bool m_open = false;
    bool m_ended = false;
    bool m_ackRequested = false;
    bool m_duplicate = false;
    std::vector<std::string> m_envelopeCodes;
    std::string m_badIsa;
    int m_count = 0;
};

} // namespace

bool AckInterchange::faulty() const
{
    if (!ta1Code.empty() && ta1Code != "000")
        return true;
    return std::any_of(groups.begin(), groups.end(), [](const AckGroupSummary &g) { return g.status != 'A'; });
}

void acknowledgeFile(std::FILE *in, const std::string &name, const AckOptions &options, AckNumbering &numbering,
                     const std::function<void(AckInterchange &)> &onInterchange)
{
    std::string block(kReadBlockSize, '\0');
    block.resize(std::fread(block.data(), 1, block.size(), in));
    if (std::ferror(in))
        throw FileError("cannot read \"" + name + "\"");
    const auto header = detectHeader(block);
    if (!header) {
        if (block.find("ISA") == std::string::npos)
            throw AckInputError("\"" + name + "\" is not X12: it holds no interchange header (ISA)");
        throw AckInputError("the interchange header (ISA) of \"" + name + "\" cannot be read, so no TA1 can be formed");
    }
    seekTo(in, 0);
    SegmentCutter cutter(in, name, header->terminator);
    Acknowledger ack(cutter, name, options, numbering, onInterchange);
    const bool cut = cutter.run(ack);
    if (!ack.badIsa().empty())
        throw AckInputError(ack.badIsa());
    ack.finish();
    if (!cut)
        throw FileError(cutter.error());
}

} // namespace pelldrake::edi
