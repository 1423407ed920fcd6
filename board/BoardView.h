#pragma once
// The main window as the board's controllers see it. Rows are 1..20, groups 1..10.
#include "board/Choices.h"
#include "board/Slots.h"

#include <QPoint>
#include <QString>

class QWidget;

namespace qb {

class BoardView {
public:
    virtual ~BoardView() = default;

    // The slots: path field and name field of row r.
    virtual QString pathText(int r) const = 0;
    // Sets a path field as program code does: when the text differs from the
    // present one, the field's change handler runs, which stores the path.
    virtual void applyPathText(int r, const QString& text) = 0;
    // Display setters: no handler runs.
    virtual void setNameText(int r, const QString& text) = 0;
    // Shows row r as the current one, or no longer.
    virtual void setRowHighlighted(int r, bool highlighted) = 0;

    virtual bool isChecked(Choice c) const = 0;
    // Checks a button as program code does: an unchecked one becomes checked and its
    // click handler runs, which stores the choice; an error of it is rethrown here.
    // A checked one is left alone.
    virtual void applyChoice(Choice c) = 0;
    // Unchecks c's button; no handler runs.
    virtual void uncheck(Choice c) = 0;
    // The group whose button is checked, 0 when none is.
    virtual int checkedGroup() const = 0;
    // Checks group g's button the way applyChoice() does: its click handler stores
    // the group and shows its paths.
    virtual void applyGroup(int g) = 0;
    // Leaves no group button checked; no handler runs.
    virtual void uncheckGroups() = 0;
    virtual QString groupCaption(int g) const = 0;
    virtual void setGroupCaption(int g, const QString& caption) = 0;

    virtual void setAccountLabel(const QString& name) = 0;
    virtual QString statusText() const = 0;
    virtual void setStatusText(const QString& text) = 0;
    // Centres the window on the primary screen.
    virtual void centre() = 0;
    // The window that owns the boxes and dialogs the board opens.
    virtual QWidget* dialogOwner() = 0;

    // Drops: the window's widget at a global position (null off the window), the row a widget
    // belongs to (0: none), and the focus after a drop, which also makes the window the active one.
    virtual QWidget* widgetAt(QPoint globalPos) = 0;
    virtual int rowOf(const QWidget* w) const = 0;
    virtual void focusRowAfterDrop(int r) = 0;
    virtual void focusAfterDrop(QWidget* w) = 0;

    // What a drag over row r would do there: the row's colour while it hovers.
    enum class Shade { None, Works, Counting, Refused };
    virtual void showDropShade(int /*r*/, Shade /*shade*/) {}
    // Row r's own action, where it has one (its tooltip says so).
    virtual void showSlotAction(int /*r*/, SlotAction /*a*/) {}
};

} // namespace qb
