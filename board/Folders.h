#pragma once
// Opening a slot's folder, the row highlight that follows the focus, and the
// file manager's top level.
#include <QObject>
#include <QString>

namespace qb {

class BoardView;

// True when `path` names an existing folder (a link to a folder counts).
bool isExistingFolder(const QString& path);

class Folders : public QObject {
public:
    explicit Folders(BoardView& view) : view_(view) {}

    // Opens row r's path (the name field carries no path of its own) and says on
    // the status line whether it could.
    void openSlot(int r);
    // Opens `path`, a slot's folder, as openSlot() does (a slot of another group).
    void openFolder(const QString& path);
    // Either field of row r got the focus: the row is highlighted, alone.
    void highlightRow(int r);
    // Either field of row r lost the focus.
    void unhighlightRow(int r);
    // The file manager's top level; nothing is reported, the status line stays.
    void openTopLevel();

private:
    BoardView& view_;
    // Numbers the folder requests: a late failure corrects the status line only
    // for the latest request, and only while the line still shows its outcome.
    quint64 lastRequest_ = 0;
    int highlightedRow_ = 0;
};

} // namespace qb
