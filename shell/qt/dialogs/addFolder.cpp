#include "addFolder.h"

#include <QDir>

#include "FileDialog.h"
#include "FolderChoice.h"

namespace tessaly {

QString BrowseForFolder(QWidget* owner, const QString& title) {
    // Qt hands back '/' on every system; the rest of the program splits paths
    // at the system's own separator.
    return QDir::toNativeSeparators(FileDialog::getExistingDirectory(owner, title));
}

std::optional<QString> outputFolderFromChoice(const QString& chosen, QChar separator) {
    const std::optional<std::string> tidy = tidyFolderChoice(chosen.toStdString(), separator.toLatin1());
    if (!tidy) return std::nullopt;
    return QString::fromStdString(*tidy);
}

} // namespace tessaly
