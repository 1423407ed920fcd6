#include "drop/DropHandler.h"

#include "app/Unit1.h"
#include "drop/FileOperation.h"
#include "platform/Handler.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <filesystem>
#include <system_error>

namespace qb {
namespace {

DropFileOperation& installedOperation() {
    static DropFileOperation op;
    return op;
}

Outcome runDropOperation(QWidget* owner, Op op, Policy policy, const QString& source,
                         const QString& dest) {
    const DropFileOperation& installed = installedOperation();
    return installed ? installed(owner, op, policy, source, dest)
                     : runFileOperation(owner, op, policy, source, dest);
}

// Set on the window from the drop until its last item is done: a second drop
// arriving meanwhile (the progress dialog runs an event loop) is refused.
constexpr char kBusyProperty[] = "qbDropBusy";

// The items of the drag over the window, as read while it moved there. Xwayland
// may refuse the drag's data once the button is released over the window (a
// drag from a Wayland window): the drop then takes what the drag carried.
constexpr char kDragItemsProperty[] = "qbDragItems";

QStringList rememberDragItems(QWidget& form, const QMimeData* data) {
    const QStringList items = droppedLocalPaths(data);
    if (!items.isEmpty()) form.setProperty(kDragItemsProperty, items);
    return items;
}

QStringList dropItems(QWidget& form, const QMimeData* data) {
    QStringList items = droppedLocalPaths(data);
    if (items.isEmpty()) items = form.property(kDragItemsProperty).toStringList();
    form.setProperty(kDragItemsProperty, QVariant());
    return items;
}

Policy checkedPolicy(const TForm1& form) {
    if (form.RadioButton[13]->isChecked()) return Policy::AutoRename;
    if (form.RadioButton[14]->isChecked()) return Policy::AskReplace;
    if (form.RadioButton[15]->isChecked()) return Policy::AutoReplace;
    // One policy is always checked; should none be, asking before replacing is the
    // choice that can lose nothing.
    return Policy::AskReplace;
}

// Copies or moves one item into the folder the target field shows now.
Outcome moveOrCopyItem(TForm1& form, QLineEdit& target, Op op, const QString& source) {
    const bool move = op == Op::Move;
    const QString dest = target.text();
    if (!isExistingFolder(dest)) {
        form.Labeltip->setText(QStringLiteral("状态：目录不存在！"));
        return Outcome::Failed;
    }
    const Outcome outcome = runDropOperation(&form, op, checkedPolicy(form), source, dest);
    QString status;
    switch (outcome) {
    case Outcome::Done:
        status = move ? QStringLiteral("状态：移动成功！") : QStringLiteral("状态：复制成功！");
        break;
    case Outcome::Failed:
        status = move ? QStringLiteral("状态：移动失败！") : QStringLiteral("状态：复制失败！");
        break;
    case Outcome::Cancelled:
        status = QStringLiteral("状态：操作已取消！");
        break;
    }
    form.Labeltip->setText(status);
    return outcome;
}

// The action reported back to the drag source. Copy whenever the source allows
// it: the files are handled here, and a source told "move" may delete its own.
Qt::DropAction dropActionFor(const QDropEvent& event) {
    if (event.possibleActions() & Qt::CopyAction) return Qt::CopyAction;
    return event.proposedAction();
}

} // namespace

QStringList droppedLocalPaths(const QMimeData* data) {
    QStringList paths;
    if (!data || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (!path.isEmpty()) paths << path;
    }
    return paths;
}

QString configureModeText(const QString& path) {
    std::error_code ec;
    const std::filesystem::path p(QFile::encodeName(path).toStdString());
    const bool found = std::filesystem::exists(std::filesystem::symlink_status(p, ec));
    if (!found || std::filesystem::is_directory(p, ec)) return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.left(slash + 1);
}

bool isExistingFolder(const QString& path) {
    if (path.isEmpty()) return false;
    std::error_code ec;
    return std::filesystem::is_directory(QFile::encodeName(path).toStdString(), ec);
}

bool dropInProgress(const TForm1& form) {
    return form.property(kBusyProperty).toBool();
}

void setDropFileOperation(DropFileOperation op) {
    installedOperation() = std::move(op);
}

void applyDrop(TForm1& form, const DropRequest& drop) {
    QPointer<TForm1> alive(&form);
    QPointer<QWidget> under = drop.under;
    const int row = under ? form.rowOf(under) : 0;
    QPointer<QLineEdit> target = row ? form.Edit[row] : nullptr;

    bool handled = false;
    if (target && form.Set->isChecked()) {
        handled = true;
        for (const QString& item : drop.items) {
            const QString text = configureModeText(item);
            // Every item is saved, also one the field already shows: setting the
            // same text emits no change, so the change handling is run here.
            if (target->text() == text)
                runHandlerShowingErrors(&form, [&form, row] { form.EditChange(row); });
            else
                target->setText(text);
        }
        form.Labeltip->setText(QStringLiteral("状态：设置目录成功！"));
    } else if (target && (form.Move->isChecked() || form.Copy->isChecked())) {
        handled = true;
        const Op op = form.Move->isChecked() ? Op::Move : Op::Copy;
        for (const QString& item : drop.items) {
            const Outcome outcome = moveOrCopyItem(form, *target, op, item);
            // The window or the slot may have gone while the operation ran its dialogs.
            if (!alive || !target) return;
            // Whoever cancels one item of a drop means the whole drop.
            if (outcome == Outcome::Cancelled) break;
        }
    }

    QWidget* focus = handled ? target.data() : under.data();
    if (!focus) return;
    // The focus goes to the window the drop landed on, so the row shows as current.
    form.activateWindow();
    if (!form.isActiveWindow()) QApplication::setActiveWindow(&form);
    focus->setFocus(Qt::OtherFocusReason);
}

} // namespace qb

// Any drag carrying at least one local file is welcome over the whole window; the
// drop itself decides what the place and the mode allow.
void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    qb::runHandler(this, [this, event] {
        if (qb::dropInProgress(*this) ||
            qb::rememberDragItems(*this, event->mimeData()).isEmpty()) {
            event->ignore();
            return;
        }
        event->setDropAction(qb::dropActionFor(*event));
        event->accept();
    });
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    qb::runHandler(this, [this, event] {
        if (qb::dropInProgress(*this) ||
            qb::rememberDragItems(*this, event->mimeData()).isEmpty()) {
            event->ignore();
            return;
        }
        event->setDropAction(qb::dropActionFor(*event));
        event->accept();
    });
}

void TForm1::dropEvent(QDropEvent* event) {
    qb::runHandler(this, [this, event] {
        qb::DropRequest drop;
        drop.items = qb::dropItems(*this, event->mimeData());
        if (qb::dropInProgress(*this) || drop.items.isEmpty()) {
            event->ignore();
            return;
        }
        // The drop's own position, not the pointer's: Xwayland does not move the
        // pointer during a drag from a Wayland window. The toolkit made it
        // relative to where it believes the platform window stands, which on the
        // dock window has been seen to stay at 0,0; undone with that same belief,
        // and mapped by the window's own geometry.
        const QPoint global = event->position().toPoint() + windowHandle()->geometry().topLeft();
        const QPoint local = global - geometry().topLeft();
        if (rect().contains(local)) {
            QWidget* child = childAt(local);
            drop.under = child ? child : this;
        }
        event->setDropAction(qb::dropActionFor(*event));
        event->accept();

        // The items are handled once the drag source has its answer: a long copy
        // must not keep the file manager waiting for the end of the drop.
        setProperty(qb::kBusyProperty, true);
        QTimer::singleShot(0, this, [this, drop] {
            qb::runHandler(this, [this, drop] {
                struct Release {
                    QPointer<TForm1> form;
                    ~Release() {
                        if (form) form->setProperty(qb::kBusyProperty, false);
                    }
                } release{this};
                qb::applyDrop(*this, drop);
            });
        });
    });
}
