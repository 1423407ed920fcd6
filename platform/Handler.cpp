#include "platform/Handler.h"

#include "platform/Dialogs.h"

#include <QAbstractButton>
#include <QString>

#include <exception>

namespace qb {

namespace {
int propagateDepth = 0;
std::exception_ptr pending;

// Errors of this program carry their message as UTF-8 (a settings error's
// "Unable to write to <path>" included), so what() gives the exact text back.
QString messageOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QString(); // an unknown error is shown with an empty message
    }
}
} // namespace

void showCurrentError(QWidget* owner) {
    const QString text = errorBoxText(messageOf(std::current_exception()));
    ModalScope modal;
    try {
        dialogs().errorBox(owner, text);
    } catch (...) {
        // Nothing sensible is left to report to; never let it escape.
    }
}

void runHandler(QWidget* owner, const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        if (propagateDepth > 0) {
            if (!pending) pending = std::current_exception();
            return;
        }
        showCurrentError(owner);
    }
}

void runHandlerShowingErrors(QWidget* owner, const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        showCurrentError(owner);
    }
}

void onClick(QWidget* owner, QAbstractButton* button, std::function<void()> handler) {
    QObject::connect(button, &QAbstractButton::clicked, owner,
                     [owner, handler = std::move(handler)] { runHandler(owner, handler); });
}

void propagateFrom(const std::function<void()>& change) {
    ++propagateDepth;
    try {
        change();
    } catch (...) {
        --propagateDepth;
        throw;
    }
    --propagateDepth;
    if (pending) {
        std::exception_ptr error = pending;
        pending = nullptr;
        std::rethrow_exception(error);
    }
}

ModalScope::ModalScope() : savedDepth_(propagateDepth) {
    propagateDepth = 0;
}

ModalScope::~ModalScope() {
    propagateDepth = savedDepth_;
}

} // namespace qb
