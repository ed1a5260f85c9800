// Small text helpers shared by the command families of the simulated
// controller.
#pragma once

#include <cctype>
#include <cstddef>
#include <string_view>

namespace goniosim::command_text {

// s without blanks and tabs at either end; characters listed in tail are cut
// from the end as well (a trailing comma, or a CR or LF, that a family's
// commands may carry).
inline std::string_view trim(std::string_view s, std::string_view tail = {}) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || tail.find(s.back()) != std::string_view::npos))
        s.remove_suffix(1);
    return s;
}

// True when s begins with prefix, letters in any case; prefix is given in
// upper case.
inline bool starts_with_nocase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

}  // namespace goniosim::command_text
