#include "drop/FileOperation.h"

#include "platform/Dialogs.h"
#include "platform/Handler.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>
#include <thread>

namespace qb {

namespace {

QString fromPath(const std::string& p) {
    return QFile::decodeName(QByteArray::fromStdString(p));
}

QString sizeText(std::uint64_t bytes) {
    return QLocale::system().formattedDataSize(static_cast<qint64>(bytes), 1,
                                               QLocale::DataSizeTraditionalFormat);
}

QString dateText(std::int64_t secs) {
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString durationText(double secs) {
    const qint64 s = static_cast<qint64>(secs + 0.5);
    if (s < 60) return QStringLiteral("%1 秒").arg(std::max<qint64>(s, 1));
    if (s < 3600) return QStringLiteral("%1 分 %2 秒").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 小时 %2 分").arg(s / 3600).arg((s % 3600) / 60);
}

QString baseName(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);
    return p.mid(p.lastIndexOf(u'/') + 1);
}

// Centres `w` over `parent`, or on the screen under the cursor when the parent is
// out of sight (the main window may be docked beyond the screen's edge).
void placeOnScreen(QWidget* w, QWidget* parent) {
    w->adjustSize();
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect avail = screen->availableGeometry();
    QPoint centre = avail.center();
    if (parent && parent->isVisible()) {
        const QRect pr = parent->window()->frameGeometry();
        if (avail.contains(pr)) centre = pr.center();
    }
    QRect r(QPoint(0, 0), w->frameGeometry().size());
    r.moveCenter(centre);
    r.moveLeft(
        std::clamp(r.left(), avail.left(), std::max(avail.left(), avail.right() - r.width())));
    r.moveTop(std::clamp(r.top(), avail.top(), std::max(avail.top(), avail.bottom() - r.height())));
    w->move(r.topLeft());
}

class QtPrompts final : public OperationPrompts {
public:
    ReplaceAnswer askReplace(QWidget* parent, const ItemInfo& existing,
                             const ItemInfo& incoming) override {
        const QString text =
            QStringLiteral("目标文件夹中已有名为“%1”的文件。\n\n"
                           "是否用这个文件：\n%2\n大小：%3，修改时间：%4\n\n"
                           "替换现有的文件：\n%5\n大小：%6，修改时间：%7")
                .arg(baseName(fromPath(existing.path)), fromPath(incoming.path),
                     sizeText(incoming.size), dateText(incoming.mtime), fromPath(existing.path),
                     sizeText(existing.size), dateText(existing.mtime));
        return ask(parent, QStringLiteral("替换文件"), text);
    }
    ReplaceAnswer askMerge(QWidget* parent, const ItemInfo& existing,
                           const ItemInfo& incoming) override {
        const QString text =
            QStringLiteral("目标文件夹中已有名为“%1”的文件夹。\n\n"
                           "是否把这个文件夹：\n%2\n修改时间：%3\n\n"
                           "合并到现有的文件夹：\n%4\n修改时间：%5\n\n"
                           "选“是”，其中的同名文件将逐个询问是否替换；"
                           "选“全部是”，同名文件全部替换，不再询问。")
                .arg(baseName(fromPath(existing.path)), fromPath(incoming.path),
                     dateText(incoming.mtime), fromPath(existing.path), dateText(existing.mtime));
        return ask(parent, QStringLiteral("合并文件夹"), text);
    }
    ErrorAnswer askError(QWidget* parent, const OpError& error) override {
        ModalScope modal;
        QMessageBox box(QMessageBox::Critical, appTitle(), QString::fromStdString(error.message),
                        QMessageBox::NoButton, parent);
        box.setObjectName(QStringLiteral("operationError"));
        if (!error.canSkip) {
            box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
            placeOnScreen(&box, parent);
            box.exec();
            return ErrorAnswer::Cancel;
        }
        box.setInformativeText(QStringLiteral("跳过这个文件继续，还是取消整个操作？"));
        QAbstractButton* skip = box.addButton(QStringLiteral("跳过"), QMessageBox::AcceptRole);
        QAbstractButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setDefaultButton(static_cast<QPushButton*>(skip));
        box.setEscapeButton(cancel);
        placeOnScreen(&box, parent);
        box.exec();
        return box.clickedButton() == skip ? ErrorAnswer::Skip : ErrorAnswer::Cancel;
    }

private:
    static ReplaceAnswer ask(QWidget* parent, const QString& title, const QString& text) {
        ModalScope modal;
        QMessageBox box(QMessageBox::Question, appTitle(), text, QMessageBox::NoButton, parent);
        box.setObjectName(QStringLiteral("replaceQuestion"));
        box.setWindowTitle(appTitle() + QStringLiteral(" - ") + title);
        QAbstractButton* yes = box.addButton(QStringLiteral("是"), QMessageBox::YesRole);
        QAbstractButton* all = box.addButton(QStringLiteral("全部是"), QMessageBox::YesRole);
        QAbstractButton* no = box.addButton(QStringLiteral("否"), QMessageBox::NoRole);
        QAbstractButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setDefaultButton(static_cast<QPushButton*>(yes));
        box.setEscapeButton(cancel);
        placeOnScreen(&box, parent);
        box.exec();
        QAbstractButton* b = box.clickedButton();
        if (b == yes) return ReplaceAnswer::Yes;
        if (b == all) return ReplaceAnswer::YesToAll;
        if (b == no) return ReplaceAnswer::No;
        return ReplaceAnswer::Cancel;
    }
};

QtPrompts qtPrompts;
OperationPrompts* installedPrompts = nullptr;

// The progress dialog. Closing it or pressing Escape cancels, like its button.
class ProgressDialog final : public QDialog {
public:
    ProgressDialog(QWidget* parent, Op op, std::function<void()> onCancel)
        : QDialog(parent), onCancel_(std::move(onCancel)) {
        setObjectName(QStringLiteral("progressDialog"));
        setWindowTitle(appTitle());
        setWindowModality(Qt::ApplicationModal);
        verb_ = op == Op::Copy ? QStringLiteral("复制") : QStringLiteral("移动");
        auto* lay = new QVBoxLayout(this);
        item_ = label(lay, "itemLabel");
        QFont f = item_->font();
        f.setBold(true);
        item_->setFont(f);
        current_ = label(lay, "currentLabel");
        bar_ = new QProgressBar(this);
        bar_->setObjectName(QStringLiteral("progressBar"));
        bar_->setRange(0, 1000);
        bar_->setTextVisible(false);
        lay->addWidget(bar_);
        counts_ = label(lay, "countLabel");
        speed_ = label(lay, "speedLabel");
        left_ = label(lay, "timeLeftLabel");
        auto* row = new QHBoxLayout;
        row->addStretch();
        cancel_ = new QPushButton(QStringLiteral("取消"), this);
        cancel_->setObjectName(QStringLiteral("cancelButton"));
        row->addWidget(cancel_);
        lay->addLayout(row);
        connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
        setMinimumWidth(420);
    }

    void update(const Progress& p, double activeSecs) {
        item_->setText(QStringLiteral("正在%1“%2”").arg(verb_, fromPath(p.item)));
        const QFontMetrics fm(current_->font());
        current_->setText(fm.elidedText(fromPath(p.current), Qt::ElideMiddle, 400));
        if (p.bytesTotal > 0) {
            bar_->setRange(0, 1000);
            bar_->setValue(static_cast<int>(1000.0 * static_cast<double>(p.bytesDone) /
                                            static_cast<double>(p.bytesTotal)));
            counts_->setText(QStringLiteral("已完成 %1 / %2，%3 / %4 个文件")
                                 .arg(sizeText(p.bytesDone), sizeText(p.bytesTotal))
                                 .arg(p.filesDone)
                                 .arg(p.filesTotal));
        } else {
            bar_->setRange(0, 0); // nothing to measure: a move by renaming
            counts_->setText(QStringLiteral("已完成 %1 个项目").arg(p.filesDone));
        }
        const double speed = activeSecs > 0.2 ? static_cast<double>(p.bytesDone) / activeSecs : 0;
        if (speed > 0 && activeSecs >= 1.0) {
            speed_->setText(
                QStringLiteral("速度：%1/秒").arg(sizeText(static_cast<std::uint64_t>(speed))));
            left_->setText(
                QStringLiteral("剩余时间：约 %1")
                    .arg(durationText(
                        static_cast<double>(p.bytesTotal - std::min(p.bytesDone, p.bytesTotal)) /
                        speed)));
        } else {
            speed_->setText(QStringLiteral("速度：正在计算…"));
            left_->setText(QStringLiteral("剩余时间：正在计算…"));
        }
    }
    void cancelling() {
        cancel_->setEnabled(false);
        left_->setText(QStringLiteral("正在取消…"));
    }
    void reject() override {
        if (onCancel_) onCancel_();
    }

private:
    QLabel* label(QVBoxLayout* lay, const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        lay->addWidget(l);
        return l;
    }

    std::function<void()> onCancel_;
    QString verb_;
    QLabel *item_, *current_, *counts_, *speed_, *left_;
    QProgressBar* bar_;
    QPushButton* cancel_;
};

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

// Runs one job on a worker thread and keeps the UI thread's event loop turning.
class Runner final : public QObject {
public:
    Runner(QWidget* owner, Op op) : owner_(owner), op_(op) {}

    Outcome run(const OperationJob& job) {
        Observer obs(*this);
        clock_.start();
        std::thread worker([&] {
            Outcome o = Outcome::Failed;
            try {
                o = job(obs, cancel_);
            } catch (...) {
            }
            outcome_ = o;
            done_ = true;
            QMetaObject::invokeMethod(
                this, [] {}, Qt::QueuedConnection); // wake the loop
        });
        QTimer tick;
        tick.setInterval(100);
        connect(&tick, &QTimer::timeout, this, [this] { refresh(); });
        tick.start();
        qApp->installEventFilter(this);
        while (!done_)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        worker.join();
        qApp->removeEventFilter(this);
        tick.stop();
        delete dialog_.data();
        return outcome_;
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
            return r_.ask<ReplaceAnswer>(ReplaceAnswer::Cancel, [&](QWidget* parent) {
                return operationPrompts().askReplace(parent, existing, incoming);
            });
        }
        ReplaceAnswer askMerge(const ItemInfo& existing, const ItemInfo& incoming) override {
            return r_.ask<ReplaceAnswer>(ReplaceAnswer::Cancel, [&](QWidget* parent) {
                return operationPrompts().askMerge(parent, existing, incoming);
            });
        }
        ErrorAnswer error(const OpError& e) override {
            return r_.ask<ErrorAnswer>(ErrorAnswer::Cancel, [&](QWidget* parent) {
                return operationPrompts().askError(parent, e);
            });
        }

    private:
        Runner& r_;
    };

    // Called on the worker: the question is put on the UI thread and waited for.
    template <typename T, typename F> T ask(T fallback, F&& f) {
        T answer = fallback;
        QMetaObject::invokeMethod(
            this,
            [&] {
                const qint64 asked = clock_.elapsed();
                questionOpen_ = true;
                try {
                    answer = f(dialog_ ? static_cast<QWidget*>(dialog_.data()) : owner_.data());
                } catch (...) {
                }
                questionOpen_ = false;
                paused_ += clock_.elapsed() - asked; // the user's thinking is no work time
            },
            Qt::BlockingQueuedConnection);
        return answer;
    }

    void refresh() {
        if (done_) return;
        const qint64 active = clock_.elapsed() - paused_;
        if (!dialog_ && !questionOpen_ && active >= kProgressDelayMs) {
            dialog_ = new ProgressDialog(owner_, op_, [this] {
                cancel_ = true;
                if (dialog_) dialog_->cancelling();
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
        dialog_->update(p, static_cast<double>(active) / 1000.0);
        if (cancel_) dialog_->cancelling();
    }

    // Clicks, keys and drops meant for any window but ours wait for the end of the
    // operation: a second drop must not start while this one runs.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isUserInput(event->type()) || !watched->isWidgetType()) return false;
        QWidget* win = static_cast<QWidget*>(watched)->window();
        if (win == dialog_.data()) return false;
        if (QWidget* modal = QApplication::activeModalWidget(); modal && win == modal) return false;
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
            event->type() == QEvent::Drop)
            event->ignore();
        return true;
    }

    QPointer<QWidget> owner_;
    Op op_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> done_{false};
    std::atomic<Outcome> outcome_{Outcome::Failed};
    std::mutex mutex_;
    Progress latest_;
    QElapsedTimer clock_;
    qint64 paused_ = 0;
    bool questionOpen_ = false;
    QPointer<ProgressDialog> dialog_;
};

} // namespace

OperationPrompts& operationPrompts() {
    return installedPrompts ? *installedPrompts : qtPrompts;
}

void setOperationPrompts(OperationPrompts* p) {
    installedPrompts = p;
}

OperationPrompts& qtOperationPrompts() {
    return qtPrompts;
}

Outcome runOperationJob(QWidget* owner, Op op, const OperationJob& job) {
    Runner runner(owner, op);
    return runner.run(job);
}

Outcome runFileOperation(QWidget* owner, Op op, Policy policy, const QString& source,
                         const QString& destFolder) {
    const std::string src = QFile::encodeName(source).toStdString();
    const std::string dest = QFile::encodeName(destFolder).toStdString();
    return runOperationJob(owner, op, [&](OperationObserver& obs, const std::atomic<bool>& cancel) {
        return runOperation(op, policy, src, dest, obs, cancel);
    });
}

} // namespace qb
