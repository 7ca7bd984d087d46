#include "addFolder.h"

#include <QDir>

#include "FileDialog.h"

namespace tessaly {

QString BrowseForFolder(QWidget* owner, const QString& title) {
    // Qt hands back '/' on every system; the rest of the program splits paths
    // at the system's own separator.
    return QDir::toNativeSeparators(FileDialog::getExistingDirectory(owner, title));
}

std::optional<QString> outputFolderFromChoice(const QString& chosen, QChar separator) {
    const bool backslash = separator == QLatin1Char('\\');
    if (chosen.isEmpty() || (backslash && chosen.size() <= 1)) return std::nullopt;

    if (backslash && chosen.startsWith(QStringLiteral("\\\\"))) return chosen + separator;

    const QString withEnd = chosen + separator;
    QString tidy;
    tidy.reserve(withEnd.size());
    for (qsizetype i = 0; i < withEnd.size(); ++i) {
        tidy += withEnd[i];
        if (withEnd[i] == separator && i + 1 < withEnd.size() && withEnd[i + 1] == separator) ++i;
    }
    return tidy;
}

} // namespace tessaly
