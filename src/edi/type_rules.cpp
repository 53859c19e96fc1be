#include "edi/type_rules.h"

#include "edi/data_type.h"

#include <algorithm>

namespace pelldrake::edi {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// X12 numeric forms: an optional minus sign, then digits (N, N0..N9) or digits
// with at most one decimal point (R); at least one digit either way.
bool isX12Number(std::string_view value, bool decimalPoint)
{
    if (!value.empty() && value.front() == '-')
        value.remove_prefix(1);
    bool digit = false, point = false;
    for (const char c : value) {
        if (isDigit(c))
            digit = true;
        else if (c == '.' && decimalPoint && !point)
            point = true;
        else
            return false;
    }
    return digit;
}

// The component's validateDataType takes digits and full stops for N and R
// (no sign, any number of points); remittances carry negative amounts, so
// the X12 forms are checked instead.
bool validForRule(std::string_view value, const std::string &code)
{
    if (code == "R")
        return isX12Number(value, true);
    if (isNumericTypeCode(code))
        return isX12Number(value, false);
    return validateDataType(value, code);
}

} // namespace

bool isNumericTypeCode(std::string_view code)
{
    return code == "N" || (code.size() == 2 && code[0] == 'N' && isDigit(code[1]));
}

int ruleFault(std::string_view value, const TypeRule &rule)
{
    if (!validForRule(value, rule.typeCode))
        return rule.typeCode == "DT" ? 8 : rule.typeCode == "TM" ? 9 : 6;
    // Lengths count digits and letters, not a sign or decimal point.
    std::size_t length = value.size();
    if (rule.typeCode == "R" || isNumericTypeCode(rule.typeCode))
        length = static_cast<std::size_t>(std::count_if(value.begin(), value.end(), isDigit));
    if (rule.minLength && length < static_cast<std::size_t>(rule.minLength))
        return 4;
    if (rule.maxLength && length > static_cast<std::size_t>(rule.maxLength))
        return 5;
    return 0;
}

RuleIndex::RuleIndex(const std::vector<TypeRule> &rules)
{
    for (const TypeRule &r : rules) {
        if (r.segment.size() <= 3) {
            const std::uint32_t key = pack(r.segment);
            auto it = std::lower_bound(m_packed.begin(), m_packed.end(), key,
                                       [](const auto &e, std::uint32_t k) { return e.first < k; });
            if (it == m_packed.end() || it->first != key)
                it = m_packed.insert(it, {key, {}});
            it->second.push_back(&r);
        } else {
            m_long[r.segment].push_back(&r);
        }
    }
}

const std::vector<const TypeRule *> *RuleIndex::find(std::string_view tag) const
{
    if (tag.size() <= 3) {
        const std::uint32_t key = pack(tag);
        const auto it = std::lower_bound(m_packed.begin(), m_packed.end(), key,
                                         [](const auto &e, std::uint32_t k) { return e.first < k; });
        return it != m_packed.end() && it->first == key ? &it->second : nullptr;
    }
    const auto it = m_long.find(tag);
    return it == m_long.end() ? nullptr : &it->second;
}

std::uint32_t RuleIndex::pack(std::string_view tag)
{
    std::uint32_t key = static_cast<std::uint32_t>(tag.size());
    for (std::size_t i = 0; i < tag.size(); ++i)
        key |= static_cast<std::uint32_t>(static_cast<unsigned char>(tag[i])) << (8 * (i + 1));
    return key;
}

const std::vector<TypeRule> &defaultTypeRules()
{
    static const std::vector<TypeRule> rules = {
        // envelope; control numbers with their lengths (SE02 must equal ST02:
        // its own length would only repeat that fault)
        {"ISA", 9, "DT"}, {"ISA", 10, "TM"}, {"ISA", 13, "N0", 9, 9}, {"GS", 4, "DT"}, {"GS", 5, "TM"},
        {"GS", 6, "N0", 1, 9}, {"GE", 1, "N0", 1, 6}, {"GE", 2, "N0", 1, 9}, {"IEA", 1, "N0", 1, 5},
        {"IEA", 2, "N0", 9, 9}, {"ST", 2, "AN", 4, 9}, {"SE", 1, "N0", 1, 10},
        // common to several sets: dates, totals, allowances and charges
        {"DTM", 2, "DT"}, {"DTM", 3, "TM"}, {"CTT", 1, "N0"}, {"CTT", 2, "R"}, {"SAC", 5, "N2"},
        // 850 purchase order
        {"BEG", 5, "DT"}, {"PO1", 2, "R"}, {"PO1", 4, "R"},
        // 810 invoice: date, order date, quantity, unit price, total, terms
        {"BIG", 1, "DT"}, {"BIG", 3, "DT"}, {"IT1", 2, "R"}, {"IT1", 4, "R"}, {"TDS", 1, "N2"},
        {"ITD", 3, "R"}, {"ITD", 5, "N0"}, {"ITD", 6, "DT"}, {"ITD", 7, "N0"},
        // 856 ship notice: date, units shipped, weight, order date
        {"BSN", 3, "DT"}, {"SN1", 2, "R"}, {"TD1", 7, "R"}, {"PRF", 4, "DT"},
        // 820 payment: amount, date, remittance amounts, adjustments
        {"BPR", 2, "R"}, {"BPR", 16, "DT"}, {"RMR", 4, "R"}, {"RMR", 5, "R"}, {"RMR", 6, "R"},
        {"ADX", 1, "R"},
    };
    return rules;
}

} // namespace pelldrake::edi
