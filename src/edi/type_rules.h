#pragma once
// Element data type rules, shared by the checker's command line and the
// acknowledgment writer so that both find the same faults: a rule names an
// element of a segment tag, its type code and, where known, its length.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelldrake::edi {

struct TypeRule {
    std::string segment;
    int element = 0;
    std::string typeCode;
    int minLength = 0;   // 0: not checked
    int maxLength = 0;   // 0: not checked
};

// The built-in rules: the envelope segments (with the control numbers'
// lengths) and the common date, quantity and amount elements of 810, 850,
// 856 and 820 sets.
const std::vector<TypeRule> &defaultTypeRules();

bool isNumericTypeCode(std::string_view code);

// What is wrong with a non-empty value under rule, as the element syntax
// error code of an acknowledgment: 0 nothing, 4 too short, 5 too long,
// 6 invalid character (numbers included), 8 invalid date, 9 invalid time.
// The type is tested before the length.
int ruleFault(std::string_view value, const TypeRule &rule);

// The rules by segment tag, so each segment costs one cheap lookup: tags of
// up to three characters (all X12 tags) are packed into a number.
class RuleIndex {
public:
    explicit RuleIndex(const std::vector<TypeRule> &rules);
    const std::vector<const TypeRule *> *find(std::string_view tag) const;

private:
    static std::uint32_t pack(std::string_view tag);

    std::vector<std::pair<std::uint32_t, std::vector<const TypeRule *>>> m_packed;
    std::map<std::string, std::vector<const TypeRule *>, std::less<>> m_long;
};

} // namespace pelldrake::edi
