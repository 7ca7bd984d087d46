// The folder chooser of the Qt window, and the tidying of its choice.
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
// `separator` ('/' or '\\'), tidied as tidyFolderChoice does; nothing when
// `chosen` stands for no choice.
std::optional<QString> outputFolderFromChoice(const QString& chosen, QChar separator);

} // namespace tessaly
