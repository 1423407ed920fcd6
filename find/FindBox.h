#pragma once
// The board's find field: Ctrl+F, or a letter typed while the keyboard is on
// the board, opens it over the slots. It searches every slot of the account's
// ten groups as the user types; Enter opens the chosen slot's folder, Esc closes
// it. A result also takes a drop, as its slot does, once a drag has rested on it
// (passing over the list on the way elsewhere drops nothing), and drags its
// folder out to other programs.
#include "find/FindMatch.h"

#include <QFrame>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <vector>

class QDropEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QMimeData;

namespace qb {

class DropController;

class FindBox final : public QFrame {
    Q_OBJECT

public:
    // How long a drag rests on a result before the result takes it.
    static constexpr int kHoldMs = 800;

    struct Hooks {
        // Opens the slot's folder as a click on the slot does.
        std::function<void(const FindEntry&)> open;
        // Keeps the board where it is (true) while the field is open or a folder
        // is dragged out, and lets it go again (false).
        std::function<void(bool)> hold;
    };

    // Stands over `area` of `parent` (a part of the board window `board`),
    // hidden until opened.
    FindBox(QWidget* board, QWidget* parent, QRect area, DropController& drops, Hooks hooks);
    ~FindBox() override;

    // Reads the account's slots and shows the field with `typed` in it.
    void open(const QString& typed = QString());
    // Closes the field; the keyboard goes back where it was.
    void dismiss();
    bool isOpen() const { return open_; }

    QLineEdit* field() const { return field_; }
    QListWidget* results() const { return list_; }
    // What the list shows, in order.
    const std::vector<FindHit>& hits() const { return hits_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void refill();
    void choose(int step);
    void openChosen();
    bool fieldKey(QKeyEvent* key);
    bool boardKey(QKeyEvent* key);
    void dragEvent(QEvent* event);
    void dropOnResult(QDropEvent* drop, int index);
    void rest(int index);
    bool mayLand(const FindEntry& entry, const QMimeData* mime) const;
    const FindEntry* entryAt(int index) const;
    void dragOut(int index);

    QWidget* board_;
    DropController& drops_;
    Hooks hooks_;
    QLineEdit* field_ = nullptr;
    QListWidget* list_ = nullptr;
    QLabel* note_ = nullptr;
    QList<FindEntry> entries_;
    std::vector<FindHit> hits_;
    QPointer<QWidget> focusBefore_;
    bool open_ = false;
    QTimer hold_;        // a drag resting on a result
    int heldIndex_ = -1; // the result it rests on
    bool armed_ = false; // it rested long enough: a drop there lands
};

} // namespace qb
