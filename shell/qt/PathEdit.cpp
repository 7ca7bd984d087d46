#include "PathEdit.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <limits>

namespace tessaly {

namespace {

// The local path of the first dropped item, or "" for anything else.
QString droppedPath(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) return {};
    const QList<QUrl> urls = mime->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return {};
    return QDir::toNativeSeparators(urls.first().toLocalFile());
}

} // namespace

PathEdit::PathEdit(Kind kind, QWidget* parent) : QLineEdit(parent), kind_(kind) {
    // No length limit (QLineEdit stops at 32767 characters by default).
    setMaxLength(std::numeric_limits<int>::max());
}

bool PathEdit::acceptDroppedPath(QDropEvent* event) {
    if (droppedPath(event->mimeData()).isEmpty()) return false;
    event->acceptProposedAction();
    return true;
}

void PathEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (!acceptDroppedPath(event)) QLineEdit::dragEnterEvent(event);
}

void PathEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (!acceptDroppedPath(event)) QLineEdit::dragMoveEvent(event);
}

void PathEdit::dropEvent(QDropEvent* event) {
    QString path = droppedPath(event->mimeData());
    if (path.isEmpty()) {
        QLineEdit::dropEvent(event);
        return;
    }
    if (kind_ == Kind::Folder && QFileInfo(path).isDir() && !path.endsWith(QDir::separator())) {
        path += QDir::separator();
    }
    // Replace the whole text the way typing over a selection would, so the
    // drop can be undone.
    selectAll();
    insert(path);
    event->acceptProposedAction();
}

} // namespace tessaly
