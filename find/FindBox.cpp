// The find field over the board: the search as the user types, the keys, and
// drops on the results.
#include "find/FindBox.h"

#include "board/Accounts.h"
#include "board/Folders.h"
#include "drop/DropController.h"
#include "drop/DroppedPaths.h"
#include "find/FindResults.h"
#include "find/FolderDrag.h"
#include "find/Pinyin.h"
#include "find/SlotIndex.h"
#include "platform/Handler.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScopeGuard>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace qb {
namespace {

// The shade of a result that takes the drop, as a slot shows it.
const QColor kLandsShade(0xc8, 0xee, 0xc8);

bool movesTheChoice(int key) {
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
           key == Qt::Key_PageDown;
}

// A letter or digit typed alone, as the first of a search.
bool startsSearch(const QKeyEvent* key) {
    if (key->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) return false;
    const QString text = key->text();
    return text.size() == 1 && text[0].isLetterOrNumber();
}

} // namespace

FindBox::FindBox(QWidget* board, QWidget* parent, QRect area, DropController& drops, Hooks hooks)
    : QFrame(parent), board_(board), drops_(drops), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("FindBox"));
    setGeometry(area);
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);
    preparePinyin();
    buildControls();
    hide();

    auto* keys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), board_);
    keys->setObjectName(QStringLiteral("FindShortcut"));
    connect(keys, &QShortcut::activated, this, [this] { runHandler(board_, [this] { open(); }); });
    // Letters the board's controls leave alone reach the window itself.
    board_->installEventFilter(this);

    hold_.setSingleShot(true);
    hold_.setInterval(kHoldMs);
    connect(&hold_, &QTimer::timeout, this, [this] {
        if (heldIndex_ < 0 || !list_->item(heldIndex_)) return;
        armed_ = true;
        list_->item(heldIndex_)->setData(Qt::BackgroundRole, kLandsShade);
    });
}

// The board that held for it goes with it: nothing to let go.
FindBox::~FindBox() = default;

void FindBox::buildControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);
    layout->setSpacing(3);
    auto* top = new QHBoxLayout;
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("FindField"));
    field_->setPlaceholderText(
        QCoreApplication::translate("qb::FindBox", "查找文件夹：名称、路径或分组"));
    field_->setClearButtonEnabled(true);
    field_->setAcceptDrops(false); // a dropped file is no search text
    field_->installEventFilter(this);
    top->addWidget(field_);
    auto* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("FindClose"));
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setToolTip(QCoreApplication::translate("qb::FindBox", "关闭查找 (Esc)"));
    close->setFocusPolicy(Qt::NoFocus);
    top->addWidget(close);
    layout->addLayout(top);

    auto* list = new FindResultList(this);
    list->setObjectName(QStringLiteral("FindResults"));
    list->setFocusPolicy(Qt::NoFocus); // the keyboard stays in the field
    list->dragOut = [this](int row) { dragOut(row); };
    list->viewport()->setAcceptDrops(true);
    list->viewport()->installEventFilter(this);
    list_ = list;
    layout->addWidget(list_, 1);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("FindNote"));
    note_->setTextFormat(Qt::PlainText);
    layout->addWidget(note_);

    connect(field_, &QLineEdit::textChanged, this,
            [this] { runHandler(board_, [this] { refill(); }); });
    connect(close, &QToolButton::clicked, this,
            [this] { runHandler(board_, [this] { dismiss(); }); });
    connect(list_, &QListWidget::itemActivated, this,
            [this] { runHandler(board_, [this] { openChosen(); }); });
}

void FindBox::open(const QString& typed) {
    if (!open_) {
        entries_ = readSlots(accountState().currentSettingsFile);
        focusBefore_ = QApplication::focusWidget();
        open_ = true;
        if (hooks_.hold) hooks_.hold(true);
        show();
        raise();
    }
    field_->setFocus(Qt::ShortcutFocusReason);
    if (!typed.isEmpty()) {
        field_->setText(typed); // refills
        return;
    }
    field_->selectAll();
    refill();
}

void FindBox::dismiss() {
    if (!open_) return;
    open_ = false;
    hold_.stop();
    heldIndex_ = -1;
    armed_ = false;
    const bool hadKeyboard = isAncestorOf(QApplication::focusWidget());
    hide();
    field_->clear();
    entries_.clear();
    hits_.clear();
    list_->clear();
    if (hadKeyboard && focusBefore_ && focusBefore_->isVisible())
        focusBefore_->setFocus(Qt::OtherFocusReason);
    if (hooks_.hold) hooks_.hold(false);
}

void FindBox::refill() {
    hold_.stop();
    heldIndex_ = -1;
    armed_ = false;
    hits_ = findSlots(entries_, field_->text());
    list_->clear();
    for (const FindHit& hit : hits_) {
        const FindEntry& e = *hit.entry;
        const QString group = e.groupName == QString::number(e.group)
                                  ? e.groupName
                                  : e.groupName + u' ' + QString::number(e.group);
        auto* item = new QListWidgetItem(
            QStringLiteral("%1 · %2  %3").arg(group).arg(e.row).arg(e.name), list_);
        item->setData(FindResultList::kPathRole, e.path);
        item->setToolTip(e.path);
    }
    if (!hits_.empty()) list_->setCurrentRow(0);
    if (field_->text().trimmed().isEmpty())
        note_->setText(
            QCoreApplication::translate("qb::FindBox", "共 %1 个文件夹").arg(entries_.size()));
    else if (hits_.empty())
        note_->setText(QCoreApplication::translate("qb::FindBox", "没有匹配的文件夹"));
    else
        note_->setText(QCoreApplication::translate("qb::FindBox", "找到 %1 个").arg(hits_.size()));
}

void FindBox::choose(int step) {
    if (hits_.empty()) return;
    const int last = static_cast<int>(hits_.size()) - 1;
    list_->setCurrentRow(std::clamp(list_->currentRow() + step, 0, last));
}

void FindBox::openChosen() {
    const FindEntry* entry = entryAt(list_->currentRow());
    if (!entry) return;
    const FindEntry chosen = *entry; // the list goes with the field
    dismiss();
    if (hooks_.open) hooks_.open(chosen);
}

const FindEntry* FindBox::entryAt(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= hits_.size()) return nullptr;
    return hits_[static_cast<size_t>(index)].entry;
}

void FindBox::dragOut(int index) {
    const FindEntry* entry = entryAt(index);
    if (!entry || !isExistingFolder(entry->path)) return;
    const QString folder = entry->path; // a drop on a result closes the list meanwhile
    if (hooks_.hold) hooks_.hold(true);
    const auto release = qScopeGuard([this] {
        if (hooks_.hold) hooks_.hold(false);
    });
    dragFolderOut(list_, folder);
}

bool FindBox::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == field_ && (type == QEvent::ShortcutOverride || type == QEvent::KeyPress)) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (type == QEvent::ShortcutOverride) {
            // The board's own Esc, arrows and Enter are the field's while it is open.
            const int k = key->key();
            if (k == Qt::Key_Escape || k == Qt::Key_Return || k == Qt::Key_Enter ||
                movesTheChoice(k))
                event->accept();
            return false;
        }
        bool taken = false;
        runHandler(board_, [&] { taken = fieldKey(key); });
        return taken;
    }
    if (watched == board_ && type == QEvent::KeyPress) {
        bool taken = false;
        runHandler(board_, [&] { taken = boardKey(static_cast<QKeyEvent*>(event)); });
        return taken;
    }
    if (watched == list_->viewport() && (type == QEvent::DragEnter || type == QEvent::DragMove ||
                                         type == QEvent::DragLeave || type == QEvent::Drop)) {
        runHandler(board_, [&] { dragEvent(event); });
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

bool FindBox::fieldKey(QKeyEvent* key) {
    switch (key->key()) {
    case Qt::Key_Escape:
        dismiss();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openChosen();
        return true;
    case Qt::Key_Up:
        choose(-1);
        return true;
    case Qt::Key_Down:
        choose(1);
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const int rows =
            std::max(1, list_->viewport()->height() / std::max(1, list_->sizeHintForRow(0)));
        choose(key->key() == Qt::Key_PageUp ? -rows : rows);
        return true;
    }
    default:
        return false;
    }
}

// A key the board's controls did not take: a letter or digit begins a search.
bool FindBox::boardKey(QKeyEvent* key) {
    if (open_ || !startsSearch(key)) return false;
    open(key->text());
    return true;
}

void FindBox::dragEvent(QEvent* event) {
    if (event->type() == QEvent::DragLeave) {
        rest(-1);
        return;
    }
    auto* drop = static_cast<QDropEvent*>(event);
    const QListWidgetItem* item = list_->itemAt(drop->position().toPoint());
    const int index = item ? list_->row(item) : -1;
    if (event->type() == QEvent::Drop) {
        dropOnResult(drop, index);
        return;
    }
    auto* move = static_cast<QDragMoveEvent*>(event);
    if (index != heldIndex_) rest(index);
    drops_.answerDrag(move);
    const FindEntry* entry = entryAt(index);
    const bool lands = move->isAccepted() && armed_ && entry && mayLand(*entry, move->mimeData());
    if (lands) return;
    move->setDropAction(Qt::IgnoreAction);
    // Its entry is taken even so, or the moves that follow would go elsewhere.
    if (event->type() == QEvent::DragEnter)
        move->accept();
    else
        move->ignore();
}

// The drag rests on result `index` from now (-1: on none).
void FindBox::rest(int index) {
    if (heldIndex_ >= 0 && list_->item(heldIndex_))
        list_->item(heldIndex_)->setData(Qt::BackgroundRole, QVariant());
    heldIndex_ = index;
    armed_ = false;
    if (index < 0) {
        hold_.stop();
        return;
    }
    list_->setCurrentRow(index);
    hold_.start();
}

void FindBox::dropOnResult(QDropEvent* drop, int index) {
    const FindEntry* entry = entryAt(index);
    if (!entry || index != heldIndex_ || !armed_ || !mayLand(*entry, drop->mimeData())) {
        drop->ignore();
        rest(-1);
        return;
    }
    drops_.takeDrop(drop, QPoint(), DropInto{entry->row, QString(), entry->group});
    dismiss();
}

bool FindBox::mayLand(const FindEntry& entry, const QMimeData* mime) const {
    if (!drops_.planner().dragCopiesOrMoves(entry.row, entry.group)) return false;
    return !drops_.verdicts()
                .planDrop(DropWay::Drag, dragLocalPaths(mime),
                          SlotTarget{entry.group, entry.row, QString()})
                .refused();
}

} // namespace qb
