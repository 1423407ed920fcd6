// The find field over the board, and a slot's folder dragged out by its row label.
#include "app/Unit1.h"

#include "board/Folders.h"
#include "find/FindBox.h"
#include "find/FolderDrag.h"

#include <QLabel>

void TForm1::buildFind() {
    auto hold = [this](bool on) { docking_->hold(on); };
    qb::FindBox::Hooks hooks;
    hooks.open = [this](const qb::FindEntry& entry) { openFound(entry); };
    hooks.hold = hold;
    // Over the slots and their captions; the groups and the modes stay in view.
    const QRect area = Label18->geometry().united(Panel1->geometry());
    find_ = new qb::FindBox(this, Client, area, *drops_, std::move(hooks));
    for (int r = 1; r <= qb::kRows; ++r)
        new qb::FolderDragStart(
            RowLabel[r], [this, r](QPoint) { return pathText(r); }, hold);
}

void TForm1::openFound(const qb::FindEntry& entry) {
    // A slot the board shows opens by its own click; another group's from the
    // path its settings hold.
    if (entry.group == checkedGroup())
        EditClick(entry.row);
    else
        folders_->openFolder(entry.path);
}
