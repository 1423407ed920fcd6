#include "board/Folders.h"

#include "board/BoardView.h"
#include "platform/Opener.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>

#include <filesystem>
#include <system_error>

namespace qb {

namespace {

// Translated when shown: a translator is installed after static initialisation.
QString openedText() {
    return QCoreApplication::translate("qb::Folders", "打开指定目录!");
}
QString missingText() {
    return QCoreApplication::translate("qb::Folders", "目录不存在!");
}
QString failedText() {
    return QCoreApplication::translate("qb::Folders", "目录打开失败!");
}

} // namespace

bool isExistingFolder(const QString& path) {
    if (path.isEmpty()) return false;
    std::error_code error;
    return std::filesystem::is_directory(QFile::encodeName(path).toStdString(), error);
}

void Folders::openSlot(int r) {
    openFolder(view_.pathText(r));
}

void Folders::openFolder(const QString& path) {
    if (!isExistingFolder(path)) {
        view_.setStatusText(missingText());
        return;
    }
    const quint64 request = ++lastRequest_;
    QPointer<Folders> self(this);
    const bool handedOver = opener().openFolder(path, [self, request] {
        if (self && request == self->lastRequest_ && self->view_.statusText() == openedText())
            self->view_.setStatusText(failedText());
    });
    view_.setStatusText(handedOver ? openedText() : failedText());
}

// At most one row is highlighted. A field can also receive the focus as its window
// becomes active (a click on a slot while another program was active); the row
// that had it then never saw its focus leave, so it is cleared here.
void Folders::highlightRow(int r) {
    if (highlightedRow_ != 0 && highlightedRow_ != r)
        view_.setRowHighlighted(highlightedRow_, false);
    view_.setRowHighlighted(r, true);
    highlightedRow_ = r;
}

void Folders::unhighlightRow(int r) {
    view_.setRowHighlighted(r, false);
    if (highlightedRow_ == r) highlightedRow_ = 0;
}

void Folders::openTopLevel() {
    opener().openTopLevel();
}

} // namespace qb
