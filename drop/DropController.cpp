#include "drop/DropController.h"

#include "board/Board.h"
#include "board/BoardView.h"
#include "board/Folders.h"
#include "platform/Handler.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace qb {
namespace {

DropFileOperation& installedOperation() {
    static DropFileOperation op;
    return op;
}

void startDropOperation(QWidget* owner, Op op, Policy policy, const QString& source,
                        const QString& dest, OperationDone done) {
    const DropFileOperation& installed = installedOperation();
    const QByteArray sourceBytes = QFile::encodeName(source);
    const QByteArray destBytes = QFile::encodeName(dest);
    if (installed)
        installed(owner, op, policy, sourceBytes, destBytes, std::move(done));
    else
        startFileOperation(owner, op, policy, sourceBytes, destBytes, std::move(done));
}

Policy checkedPolicy(const BoardView& view) {
    if (view.isChecked(Choice::Rename)) return Policy::AutoRename;
    if (view.isChecked(Choice::Replace)) return Policy::AskReplace;
    if (view.isChecked(Choice::AutoReplace)) return Policy::AutoReplace;
    // One policy is always checked; should none be, asking before replacing is the
    // choice that can lose nothing.
    return Policy::AskReplace;
}

QString statusOf(Op op, Outcome outcome) {
    const bool move = op == Op::Move;
    switch (outcome) {
    case Outcome::Done:
        return move ? QCoreApplication::translate("qb::DropController", "状态：移动成功！")
                    : QCoreApplication::translate("qb::DropController", "状态：复制成功！");
    case Outcome::Failed:
        return move ? QCoreApplication::translate("qb::DropController", "状态：移动失败！")
                    : QCoreApplication::translate("qb::DropController", "状态：复制失败！");
    case Outcome::Cancelled:
        break;
    }
    return QCoreApplication::translate("qb::DropController", "状态：操作已取消！");
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

void setDropFileOperation(DropFileOperation op) {
    installedOperation() = std::move(op);
}

void DropController::DragOver(QDragMoveEvent* event) {
    if (busy_ || droppedLocalPaths(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->setDropAction(dropActionFor(*event));
    event->accept();
}

void DropController::Drop(QDropEvent* event) {
    const QStringList items = droppedLocalPaths(event->mimeData());
    if (busy_ || items.isEmpty()) {
        event->ignore();
        return;
    }
    drop_ = Running{};
    drop_.items = items;
    drop_.under = view_.widgetUnderPointer();
    event->setDropAction(dropActionFor(*event));
    event->accept();

    // The items are handled once the drag source has its answer: a long copy
    // must not keep the file manager waiting for the end of the drop.
    busy_ = true;
    QTimer::singleShot(0, this, [this] { step([this] { start(); }); });
}

void DropController::start() {
    drop_.row = drop_.under ? view_.rowOf(drop_.under) : 0;
    if (drop_.row && view_.isChecked(Choice::Set)) {
        configure();
    } else if (drop_.row && (view_.isChecked(Choice::Move) || view_.isChecked(Choice::Copy))) {
        drop_.op = view_.isChecked(Choice::Move) ? Op::Move : Op::Copy;
        drop_.report.emplace(drop_.op, view_.pathText(drop_.row));
        nextItem();
    } else {
        finish(false);
    }
}

void DropController::configure() {
    const int row = drop_.row;
    for (const QString& item : drop_.items) {
        const QString text = configureModeText(item);
        // Every item is saved, also one the field already shows: setting the
        // same text emits no change, so the change handling is run here.
        if (view_.pathText(row) == text)
            runHandlerShowingErrors(view_.dialogOwner(), [this, row] { board_.EditChange(row); });
        else
            view_.setPathText(row, text);
    }
    view_.setStatusText(QCoreApplication::translate("qb::DropController", "状态：设置目录成功！"));
    finish(true);
}

// Copies or moves the next item into the folder the target field shows now, with
// the policy checked now. A slot without an existing folder fails each item.
void DropController::nextItem() {
    while (drop_.next < drop_.items.size()) {
        const QString source = drop_.items[drop_.next++];
        const QString dest = view_.pathText(drop_.row);
        if (!isExistingFolder(dest)) {
            view_.setStatusText(
                QCoreApplication::translate("qb::DropController", "状态：目录不存在！"));
            continue;
        }
        QPointer<DropController> self(this);
        startDropOperation(view_.dialogOwner(), drop_.op, checkedPolicy(view_), source, dest,
                           [self](Outcome outcome) {
                               if (self) self->step([&] { self->itemDone(outcome); });
                           });
        return;
    }
    finish(true);
}

void DropController::itemDone(Outcome outcome) {
    view_.setStatusText(statusOf(drop_.op, outcome));
    drop_.report->add(drop_.items[drop_.next - 1], outcome);
    // Whoever cancels one item of a drop means the whole drop.
    if (outcome == Outcome::Cancelled)
        finish(true);
    else
        nextItem();
}

// The focus goes to the window the drop landed on, so the row shows as current.
void DropController::finish(bool handled) {
    if (handled)
        view_.focusRowAfterDrop(drop_.row);
    else if (drop_.under)
        view_.focusAfterDrop(drop_.under);
    busy_ = false;
    if (drop_.report) reportDrop(*drop_.report);
}

void DropController::step(const std::function<void()>& body) {
    runHandler(view_.dialogOwner(), [this, &body] {
        try {
            body();
        } catch (...) {
            busy_ = false;
            throw;
        }
    });
}

} // namespace qb
