#include "edi/palette.h"

#include <algorithm>
#include <mutex>

namespace pelldrake::edi {

namespace {
std::mutex &registryMutex()
{
    static std::mutex m;
    return m;
}
std::vector<std::pair<std::string, std::string>> &registry()
{
    static std::vector<std::pair<std::string, std::string>> r;
    return r;
}
} // namespace

void registerComponent(const std::string &page, const std::string &className)
{
    std::lock_guard lock(registryMutex());
    auto &r = registry();
    const std::pair<std::string, std::string> entry{page, className};
    if (std::find(r.begin(), r.end(), entry) == r.end())
        r.push_back(entry);
}

std::vector<std::pair<std::string, std::string>> registeredComponents()
{
    std::lock_guard lock(registryMutex());
    return registry();
}

std::vector<std::string> registeredComponents(const std::string &page)
{
    std::lock_guard lock(registryMutex());
    std::vector<std::string> out;
    for (const auto &[p, c] : registry())
        if (p == page)
            out.push_back(c);
    return out;
}

} // namespace pelldrake::edi
