// A single-line text field for a path. Besides typing, a file or folder
// dragged from a file manager can be dropped on it: the field then holds the
// item's local path, not its file:// address.
#pragma once

#include <QLineEdit>

namespace tessaly {

class PathEdit : public QLineEdit {
    Q_OBJECT
public:
    // A folder field ends a dropped folder's path with a separator, so that
    // the text works as the prefix of the files written into it.
    enum class Kind { File, Folder };

    explicit PathEdit(Kind kind, QWidget* parent = nullptr);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Accepts a drag that carries a local file or folder; false otherwise.
    static bool acceptDroppedPath(QDropEvent* event);
    Kind kind_;
};

} // namespace tessaly
