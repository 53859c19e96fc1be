#pragma once
// The outcome of one check: the verdict callers test, and the text the user
// reads in reports. A failure's text keeps its "ERROR" wording, but nothing
// reads the verdict from the text.
#include <string>
#include <utility>

namespace pelldrake::edi {

struct CheckResult {
    enum class Verdict { Passed, Failed };

    Verdict verdict = Verdict::Passed;
    std::string text;

    static CheckResult pass(std::string text) { return {Verdict::Passed, std::move(text)}; }
    static CheckResult fail(std::string text) { return {Verdict::Failed, std::move(text)}; }
    bool passed() const { return verdict == Verdict::Passed; }
};

} // namespace pelldrake::edi
