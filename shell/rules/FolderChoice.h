// The tidying that turns a folder chosen with the folder chooser into the
// output-folder text: a path that ends in exactly one separator, so that it
// works as the plain prefix of the files written into it.
#pragma once

#include <optional>
#include <string>

namespace tessaly {

// The output-folder text for a folder `chosen` with the chooser, using
// `separator` ('/' or '\\'); nothing when `chosen` stands for no choice.
//  - No choice: "". With '\\' also any single character, which names no
//    folder there; with '/' the single character "/" is the root folder.
//  - With '\\', a network path (two leading backslashes) gains one trailing
//    backslash and is otherwise kept as it is.
//  - Otherwise one separator is appended, then every pair of separators is
//    replaced by one in a single left-to-right pass (pairs do not overlap and
//    the result is not searched again): "/" stays "/", "/data" gives
//    "/data/", "C:\" stays "C:\".
std::optional<std::string> tidyFolderChoice(const std::string& chosen, char separator);

} // namespace tessaly
