// UTF-8, the text of every string inside the program, to UTF-16, the text
// of Windows' wide system calls, and back.
#pragma once

#ifdef _WIN32
#include <string>

namespace tessaly {

std::wstring widen(const std::string& text);
std::string narrow(const std::wstring& text);

} // namespace tessaly
#endif
