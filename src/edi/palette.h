// Registry of the EDI component classes by palette page, so tools and tests
// can list what a build provides.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace pelldrake::edi {

inline constexpr const char *kPalettePage = "lynEDIControls";

// Records className under page; registering the same pair again changes nothing.
void registerComponent(const std::string &page, const std::string &className);
// Every registered (page, class) pair in registration order.
std::vector<std::pair<std::string, std::string>> registeredComponents();
// The classes registered under page.
std::vector<std::string> registeredComponents(const std::string &page);

} // namespace pelldrake::edi
