#pragma once
// Builds small X12 interchanges for the checker tests: one ISA with the fixed
// 106-character layout, groups of purchase orders, and the terminator styles.
#include <cassert>
#include <string>
#include <vector>

namespace checktest {

struct Interchange {
    std::string sender = "SENDER";
    std::string receiver = "RECEIVER";
    std::string control = "000000001";
    // setsPerGroup[g] = number of transaction sets of group g
    std::vector<int> setsPerGroup = {1};
    int extraLines = 1;   // body segments per set besides BEG
};

inline std::string pad(std::string s, size_t n) { s.resize(n, ' '); return s; }

// The segments of an interchange, without terminators.
inline std::vector<std::string> segments(const Interchange &ic)
{
    std::vector<std::string> segs;
    const std::string isa = "ISA*00*" + pad("", 10) + "*00*" + pad("", 10) + "*ZZ*" + pad(ic.sender, 15) +
                            "*ZZ*" + pad(ic.receiver, 15) + "*261207*0930*U*00401*" + ic.control + "*0*P*>";
    assert(isa.size() == 105);
    segs.push_back(isa);
    int setNo = 0;
    for (size_t g = 0; g < ic.setsPerGroup.size(); ++g) {
        const std::string gctl = std::to_string(100 + g);
        segs.push_back("GS*PO*" + ic.sender + "*" + ic.receiver + "*20261207*0930*" + gctl + "*X*004010");
        for (int s = 0; s < ic.setsPerGroup[g]; ++s) {
            char ctl[16];
            std::snprintf(ctl, sizeof ctl, "%04d", ++setNo);
            segs.push_back(std::string("ST*850*") + ctl);
            segs.push_back("BEG*00*SA*PO" + std::to_string(setNo) + "**20261207");
            for (int i = 0; i < ic.extraLines; ++i)
                segs.push_back("PO1*" + std::to_string(i + 1) + "*10*EA*9.95**VP*W" + std::to_string(i));
            segs.push_back("SE*" + std::to_string(3 + ic.extraLines) + "*" + ctl);
        }
        segs.push_back("GE*" + std::to_string(ic.setsPerGroup[g]) + "*" + gctl);
    }
    segs.push_back("IEA*" + std::to_string(ic.setsPerGroup.size()) + "*" + ic.control);
    return segs;
}

// Joins segments with a terminator and what follows it ("" or "\r\n" or "\n").
inline std::string join(const std::vector<std::string> &segs, const std::string &term, const std::string &after = "")
{
    std::string s;
    for (const auto &seg : segs)
        s += seg + term + after;
    return s;
}

// Wraps text into lines of `width` characters ended by `lineEnd`.
inline std::string wrap(const std::string &text, size_t width, const std::string &lineEnd)
{
    std::string s;
    for (size_t i = 0; i < text.size(); i += width)
        s += text.substr(i, width) + lineEnd;
    return s;
}

} // namespace checktest
