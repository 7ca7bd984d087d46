#include "FolderChoice.h"

namespace tessaly {

namespace {

// Characters, not bytes, of a UTF-8 text.
std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

} // namespace

std::optional<std::string> tidyFolderChoice(const std::string& chosen, char separator) {
    const bool backslash = separator == '\\';
    if (chosen.empty() || (backslash && characterCount(chosen) <= 1)) return std::nullopt;

    if (backslash && chosen.starts_with("\\\\")) return chosen + separator;

    const std::string withEnd = chosen + separator;
    std::string tidy;
    tidy.reserve(withEnd.size());
    for (std::size_t i = 0; i < withEnd.size(); ++i) {
        tidy += withEnd[i];
        if (withEnd[i] == separator && i + 1 < withEnd.size() && withEnd[i + 1] == separator) ++i;
    }
    return tidy;
}

} // namespace tessaly
