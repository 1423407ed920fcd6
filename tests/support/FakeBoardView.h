#pragma once
// The main window as the board's controllers see it, held in memory: tests of the
// controllers need no window. Given a board, the setters that set off the
// window's handlers (a path field's text, a choice, a group) run the board's
// handlers here too, with the same error rules.
#include "board/Board.h"
#include "board/BoardView.h"
#include "platform/Handler.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <set>

namespace qb::test {

class FakeBoardView final : public BoardView {
public:
    FakeBoardView() {
        for (int r = 1; r <= kRows; ++r) {
            pathFields[r] = new QWidget(&window);
            nameFields[r] = new QWidget(&window);
        }
    }

    Board* board = nullptr; // whose handlers the setters run; none: they only set

    // Indexed by row or group number; [0] is unused.
    QList<QString> paths = QList<QString>(kRows + 1), names = paths;
    QList<bool> highlighted = QList<bool>(kRows + 1);
    std::set<Choice> checked;
    int group = 0;
    QList<QString> captions = QList<QString>(kGroups + 1);
    QString account, status;
    int centred = 0;
    // Runs after the board's handling of each path change.
    std::function<void(int)> pathChanged;

    // Drops: the window and the two fields of each row; what the pointer is over
    // (the window itself while null), and where the focus went after a drop.
    QWidget window;
    QList<QWidget*> pathFields = QList<QWidget*>(kRows + 1), nameFields = pathFields;
    QWidget* under = nullptr;
    QWidget* focused = nullptr;

    // A user's click on c's button: an unchecked one becomes checked, the others of
    // its choice do not stay so, and the handler runs; its errors are shown.
    void click(Choice c) {
        if (isChecked(c)) return;
        std::erase_if(checked, [c](Choice o) { return storedKey(o) == storedKey(c); });
        checked.insert(c);
        if (board) runHandler(&window, [this, c] { board->storeChoice(c); });
    }
    void clickGroup(int g) {
        if (group == g) return;
        group = g;
        if (board) runHandler(&window, [this, g] { board->switchToGroup(g); });
    }

    QString pathText(int r) const override { return paths[r]; }
    void applyPathText(int r, const QString& text) override {
        if (paths[r] == text) return;
        paths[r] = text;
        if (board) runHandlerShowingErrors(&window, [this, r] { board->storeSlotPath(r); });
        if (pathChanged) pathChanged(r);
    }
    void setNameText(int r, const QString& text) override { names[r] = text; }
    void setRowHighlighted(int r, bool on) override { highlighted[r] = on; }

    bool isChecked(Choice c) const override { return checked.count(c) != 0; }
    void applyChoice(Choice c) override {
        propagateFrom([this, c] { click(c); });
    }
    void uncheck(Choice c) override { checked.erase(c); }
    int checkedGroup() const override { return group; }
    void applyGroup(int g) override {
        propagateFrom([this, g] { clickGroup(g); });
    }
    void uncheckGroups() override { group = 0; }
    QString groupCaption(int g) const override { return captions[g]; }
    void setGroupCaption(int g, const QString& caption) override { captions[g] = caption; }

    void setAccountLabel(const QString& name) override { account = name; }
    QString statusText() const override { return status; }
    void setStatusText(const QString& text) override { status = text; }
    void centre() override { ++centred; }
    QWidget* dialogOwner() override { return &window; }

    QWidget* widgetAt(QPoint) override { return under ? under : &window; }
    int rowOf(const QWidget* w) const override {
        for (int r = 1; r <= kRows; ++r)
            if (w == pathFields[r] || w == nameFields[r]) return r;
        return 0;
    }
    void focusRowAfterDrop(int r) override { focused = pathFields[r]; }
    void focusAfterDrop(QWidget* w) override { focused = w; }
};

} // namespace qb::test
