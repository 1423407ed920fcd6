// The running operation: its worker thread, its questions, its progress dialog.
#include "operation/FileOperation.h"
#include "history/Recorder.h"
#include "operation/DropHistory.h"
#include "operation/Questions.h"

#include "operation/Log.h"
#include "operation/OperationDialogs.h"
#include "operation/OperationText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace qb {

using operation::Pending;
using operation::questionLine;
using operation::Reply;

namespace {

bool isUserInput(QEvent::Type t) {
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
        return true;
    default:
        return false;
    }
}

class Runner;
// The runners whose workers have not been joined yet (UI thread).
std::set<Runner*>& runners() {
    static std::set<Runner*> all;
    return all;
}

constexpr char kPassesWhileBusy[] = "qbPassesWhileBusy";

// Runs one job on a worker thread while the UI thread's own event loop turns.
// Deletes itself after handing over the result.
class Runner final : public QObject {
public:
    Runner(QWidget* owner, Op op, OperationResultDone done, std::shared_ptr<JobControl> control)
        : owner_(owner), op_(op), done_(std::move(done)), control_(std::move(control)),
          observer_(*this) {
        runners().insert(this);
    }
    ~Runner() override {
        runners().erase(this);
        if (worker_.joinable()) worker_.join();
    }

    // Cancelled from outside (the program ends): a question the worker waits for
    // is answered as its box's Esc would, whether or not the box is still shown.
    void stop() {
        cancel();
        if (abandon_) abandon_();
    }

    void start(OperationJob job) {
        clock_.start();
        tick_.setInterval(100);
        connect(&tick_, &QTimer::timeout, this, [this] { refresh(); });
        tick_.start();
        qApp->installEventFilter(this);
        worker_ = std::thread([this, job = std::move(job)] {
            OperationResult r;
            try {
                r = job(observer_, cancelFlag());
            } catch (...) {
                r.outcome = Outcome::Failed;
            }
            result_ = r;
            QMetaObject::invokeMethod(
                this, [this] { finish(); }, Qt::QueuedConnection);
        });
    }

    // Called on the worker.
    history::ClashAnswer askClash(const std::string& taken, const std::string& item,
                                  bool canTrash) {
        return ask<history::ClashAnswer>(history::ClashAnswer::Cancel, [=](QWidget* w, auto reply) {
            operationPrompts().askClash(w, QFile::decodeName(QByteArray::fromStdString(taken)),
                                        QFile::decodeName(QByteArray::fromStdString(item)),
                                        canTrash, reply);
        });
    }

private:
    class Observer final : public OperationObserver {
    public:
        explicit Observer(Runner& r) : r_(r) {}
        void progress(const Progress& p) override {
            std::lock_guard<std::mutex> lock(r_.mutex_);
            r_.latest_ = p;
        }
        ReplaceAnswer askReplace(const ItemInfo& existing, const ItemInfo& incoming) override {
            return jobAnswer(r_.control_.get(), [&] {
                return r_.ask<ReplaceAnswer>(ReplaceAnswer::Cancel, [=](QWidget* w, auto reply) {
                    operationPrompts().askReplace(w, existing, incoming, reply);
                });
            });
        }
        ReplaceAnswer askMerge(const ItemInfo& existing, const ItemInfo& incoming) override {
            return jobAnswer(r_.control_.get(), [&] {
                return r_.ask<ReplaceAnswer>(ReplaceAnswer::Cancel, [=](QWidget* w, auto reply) {
                    operationPrompts().askMerge(w, existing, incoming, reply);
                });
            });
        }
        ErrorAnswer error(const OpError& e) override {
            const Op op = r_.op_;
            return r_.ask<ErrorAnswer>(ErrorAnswer::Cancel, [=](QWidget* w, auto reply) {
                operationPrompts().askError(w, e, operationErrorText(op, e), reply);
            });
        }

    private:
        Runner& r_;
    };

    // Called on the worker: the question is put on the UI thread, in line behind
    // those of other jobs, and waited for.
    template <typename T, typename Show> T ask(T fallback, Show show) {
        auto pending = std::make_shared<Pending<T>>();
        QMetaObject::invokeMethod(
            this,
            [this, pending, fallback, show] {
                abandon_ = [pending, fallback] { pending->deliver(fallback); };
                const qint64 asked = clock_.elapsed();
                questionOpen_ = true;
                QPointer<Runner> self(this);
                questionLine().enqueue([self, pending, fallback, show, asked] {
                    if (!self) { // cannot happen while its worker waits; answer safely all the same
                        pending->deliver(fallback);
                        questionLine().answered();
                        return;
                    }
                    Runner* r = self.data();
                    auto reply = std::make_shared<Reply<T>>(pending, fallback, [self, asked] {
                        questionLine().answered();
                        if (!self) return;
                        self->questionOpen_ = false;
                        // the user's thinking is no work time
                        self->paused_ += self->clock_.elapsed() - asked;
                    });
                    const JobNameScope named(
                        r->control_ && r->control_->nameWindows ? r->control_->name : QString());
                    try {
                        show(r->dialog_ ? static_cast<QWidget*>(r->dialog_.data())
                                        : r->owner_.data(),
                             std::function<void(T)>([reply](T a) { reply->deliver(a); }));
                    } catch (...) {
                        reply->deliver(fallback);
                    }
                });
            },
            Qt::QueuedConnection);
        return pending->wait();
    }

    const std::atomic<bool>& cancelFlag() const { return control_ ? control_->cancel : cancel_; }
    std::atomic<bool>& cancelFlag() { return control_ ? control_->cancel : cancel_; }

    void cancel() {
        cancelFlag() = true;
        if (control_) {
            control_->pause.wake();
            if (control_->changed) control_->changed();
        }
        if (dialog_) dialog_->cancelling();
    }

    void refresh() {
        // Time held by a pause is no work time either.
        const bool held = control_ && control_->pause.paused();
        const qint64 now = clock_.elapsed();
        if (held && pausedSince_ < 0) pausedSince_ = now;
        if (!held && pausedSince_ >= 0) {
            paused_ += now - pausedSince_;
            pausedSince_ = -1;
        }
        const qint64 active = now - paused_ - (pausedSince_ >= 0 ? now - pausedSince_ : 0);
        if (!dialog_ && !questionOpen_ && active >= kProgressDelayMs) {
            dialog_ = new ProgressDialog(owner_, op_, [this] { cancel(); });
            if (control_)
                dialog_->setPauseHandler([c = control_](bool pause) {
                    if (pause)
                        c->pause.pause();
                    else
                        c->pause.resume();
                    if (c->changed) c->changed();
                });
            placeOnScreen(dialog_, owner_);
            dialog_->show();
        }
        if (!dialog_) return;
        Progress p;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            p = latest_;
        }
        if (control_) {
            dialog_->setJobName(control_->nameWindows ? control_->name : QString());
            dialog_->showPaused(held);
        }
        dialog_->update(p, static_cast<double>(active) / 1000.0);
        if (cancelFlag()) dialog_->cancelling();
    }

    void finish() {
        worker_.join();
        runners().erase(this);
        qApp->removeEventFilter(this);
        tick_.stop();
        delete dialog_.data();
        const OperationResultDone done = std::move(done_);
        const OperationResult r = result_;
        deleteLater();
        try {
            if (done) done(r);
        } catch (...) {
        }
    }

    // Clicks and keys meant for any window but ours wait for the end of the
    // operation: the board must not change under the drops that read it.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isUserInput(event->type()) || !watched->isWidgetType()) return false;
        if (watched->property(kPassesWhileBusy).toBool()) return false;
        QWidget* win = static_cast<QWidget*>(watched)->window();
        if (win == dialog_.data() || win->windowModality() != Qt::NonModal) return false;
        if (QWidget* modal = QApplication::activeModalWidget(); modal && win == modal) return false;
        // Another job's progress window stays usable; drags go through: a drop
        // meanwhile is queued behind this one.
        if (dynamic_cast<ProgressDialog*>(win)) return false;
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
            event->type() == QEvent::Drop)
            return false;
        return true;
    }

    QPointer<QWidget> owner_;
    Op op_;
    OperationResultDone done_;
    std::shared_ptr<JobControl> control_;
    Observer observer_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    OperationResult result_;
    std::mutex mutex_;
    Progress latest_;
    QElapsedTimer clock_;
    std::atomic<qint64> paused_{0};
    qint64 pausedSince_ = -1; // when the pause now holding the job began
    std::atomic<bool> questionOpen_{false};
    QTimer tick_;
    QPointer<ProgressDialog> dialog_;
    std::function<void()> abandon_; // answers the question the worker waits for, if any
};

} // namespace

int runningOperations() {
    return static_cast<int>(runners().size());
}

void cancelAllOperations() {
    for (Runner* r : std::vector<Runner*>(runners().begin(), runners().end()))
        r->stop();
}

void passesWhileBusy(QWidget* widget) {
    widget->setProperty(kPassesWhileBusy, true);
}

void startOperationJob(QWidget* owner, Op op, OperationJob job, OperationResultDone done,
                       std::shared_ptr<JobControl> control) {
    routeEngineLog(); // the categories' rules may have changed since the last operation
    auto* runner = new Runner(owner, op, std::move(done), std::move(control));
    runner->start(std::move(job));
}

void startUndoJob(QWidget* owner, UndoJob job, OperationResultDone done) {
    routeEngineLog();
    auto* runner = new Runner(owner, Op::Move, std::move(done), {});
    // The runner outlives its worker: it joins it before it goes.
    const ClashQuestion question = [runner](const std::string& taken, const std::string& item,
                                            bool canTrash) {
        return runner->askClash(taken, item, canTrash);
    };
    runner->start(
        [job = std::move(job), question](OperationObserver& obs, const std::atomic<bool>& cancel) {
            return job(obs, question, cancel);
        });
}

void startFileOperationWithResult(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                                  const QByteArray& destFolder, OperationResultDone done) {
    const std::string src = source.toStdString(), dest = destFolder.toStdString();
    startOperationJob(
        owner, op,
        [=](OperationObserver& obs, const std::atomic<bool>& cancel) {
            return runOperation(op, policy, src, dest, obs, cancel);
        },
        std::move(done));
}

void startRecordedFileOperation(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                                const QByteArray& destFolder, std::int64_t journalDrop,
                                OperationResultDone done, std::shared_ptr<JobControl> control) {
    const std::string src = source.toStdString(), dest = destFolder.toStdString();
    history::Journal* journal = journalDrop ? dropJournal() : nullptr;
    OperationOptions options;
    if (control) options.pause = &control->pause; // the runner keeps the control alive
    options.verify = control && control->verify;
    startOperationJob(
        owner, op,
        [=](OperationObserver& obs, const std::atomic<bool>& cancel) {
            return history::runRecorded(journal, journalDrop, op, policy, src, dest, obs, cancel,
                                        options);
        },
        std::move(done), std::move(control));
}

void startFileOperation(QWidget* owner, Op op, Policy policy, const QByteArray& source,
                        const QByteArray& destFolder, OperationDone done) {
    startFileOperationWithResult(owner, op, policy, source, destFolder,
                                 [done = std::move(done)](const OperationResult& r) {
                                     if (done) done(r.outcome);
                                 });
}

} // namespace qb
