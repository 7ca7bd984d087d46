// The folder chooser, and the tidying that turns a chosen folder into the
// output-folder text: a path that ends in exactly one separator, so that it
// works as the plain prefix of the files written into it.
#pragma once

#include <QChar>
#include <QString>
#include <optional>

class QWidget;

namespace tessaly {

// Shows the folder chooser over `owner` with `title` above the folder tree
// and returns the chosen folder's path in the system's own notation, or ""
// when the user chose none (cancel, or the chooser closed).
QString BrowseForFolder(QWidget* owner, const QString& title);

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
std::optional<QString> outputFolderFromChoice(const QString& chosen, QChar separator);

} // namespace tessaly
