// The progress dialog of a running operation, with the queue of the other jobs.
#include "operation/DropHistory.h"
#include "operation/Log.h"
#include "operation/OperationDialogs.h"
#include "operation/QueueRows.h"
#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace qb {

namespace {

QString durationText(double secs) {
    const qint64 s = static_cast<qint64>(secs + 0.5);
    if (s < 60)
        return QCoreApplication::translate("qb::OperationDialogs", "%1 秒")
            .arg(std::max<qint64>(s, 1));
    if (s < 3600)
        return QCoreApplication::translate("qb::OperationDialogs", "%1 分 %2 秒")
            .arg(s / 60)
            .arg(s % 60);
    return QCoreApplication::translate("qb::OperationDialogs", "%1 小时 %2 分")
        .arg(s / 3600)
        .arg((s % 3600) / 60);
}

} // namespace

ProgressDialog::ProgressDialog(QWidget* parent, Op op, std::function<void()> onCancel)
    : QDialog(parent), onCancel_(std::move(onCancel)), copy_(op == Op::Copy) {
    setObjectName(QStringLiteral("progressDialog"));
    setWindowTitle(appTitle());
    // Not modal: the board keeps taking drops, which queue behind this one (the
    // running operation holds other input off itself).
    setWindowModality(Qt::NonModal);
    auto* lay = new QVBoxLayout(this);
    job_ = label(lay, "jobLabel");
    job_->hide();
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
    buildQueue(lay);
    buildButtons(lay);
    setMinimumWidth(420);
}

// The other jobs, each waiting one removable; hidden while this is the only one.
void ProgressDialog::buildQueue(QVBoxLayout* lay) {
    queueTitle_ = label(lay, "queueLabel");
    queueTitle_->setText(QCoreApplication::translate("qb::OperationDialogs", "任务队列："));
    queue_ = new QListWidget(this);
    queue_->setObjectName(QStringLiteral("DropQueue"));
    queue_->setSelectionMode(QAbstractItemView::SingleSelection);
    queue_->setMaximumHeight(120);
    lay->addWidget(queue_);
    remove_ =
        new QPushButton(QCoreApplication::translate("qb::OperationDialogs", "移出队列"), this);
    remove_->setObjectName(QStringLiteral("QueueRemove"));
    remove_->setEnabled(false);
    auto* queueRow = new QHBoxLayout;
    queueRow->addStretch();
    queueRow->addWidget(remove_);
    lay->addLayout(queueRow);
    queueTitle_->hide();
    queue_->hide();
    remove_->hide();
    connect(queue_, &QListWidget::currentRowChanged, this, [this](int r) {
        const auto rows = dropQueueRows();
        bool waiting = false;
        if (r >= 0 && static_cast<std::size_t>(r) < queueIds_.size())
            for (const QueueRow& q : rows)
                if (q.id == queueIds_[static_cast<std::size_t>(r)])
                    waiting = q.state == QueueRow::Waiting;
        remove_->setEnabled(waiting);
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int r = queue_->currentRow();
        if (r < 0 || static_cast<std::size_t>(r) >= queueIds_.size()) return;
        qCInfo(lcDrop).noquote() << "answer of" << objectName() << remove_->text();
        removeQueuedDrop(queueIds_[static_cast<std::size_t>(r)]);
        refreshQueue();
    });
}

void ProgressDialog::buildButtons(QVBoxLayout* lay) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    pause_ = new QPushButton(QCoreApplication::translate("qb::OperationDialogs", "暂停"), this);
    pause_->setObjectName(QStringLiteral("QueuePause"));
    pause_->hide();
    row->addWidget(pause_);
    connect(pause_, &QPushButton::clicked, this, [this] {
        qCInfo(lcDrop).noquote() << "answer of" << objectName() << pause_->text();
        if (onPause_) onPause_(!paused_);
        showPaused(!paused_);
    });
    cancel_ = new QPushButton(QCoreApplication::translate("qb::OperationDialogs", "取消"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    row->addWidget(cancel_);
    lay->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        qCInfo(lcDrop).noquote() << "answer of" << objectName() << cancel_->text();
        reject();
    });
}

void ProgressDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    logButtonPlaces(this);
}

void ProgressDialog::update(const Progress& p, double activeSecs) {
    if (p.item.empty()) // nothing heard from the job yet
        item_->setText(copy_ ? QCoreApplication::translate("qb::OperationDialogs", "正在复制…")
                             : QCoreApplication::translate("qb::OperationDialogs", "正在移动…"));
    else
        item_->setText((copy_ ? QCoreApplication::translate("qb::OperationDialogs", "正在复制“%1”")
                              : QCoreApplication::translate("qb::OperationDialogs", "正在移动“%1”"))
                           .arg(pathText(p.item)));
    const QFontMetrics fm(current_->font());
    current_->setText(fm.elidedText(pathText(p.current), Qt::ElideMiddle, 400));
    if (p.verifying) // the copy is read back from the drive
        current_->setText(QCoreApplication::translate("qb::OperationDialogs", "正在校验：") +
                          current_->text());
    if (p.counting) {
        bar_->setRange(0, 0);
        counts_->setText(QCoreApplication::translate("qb::OperationDialogs", "正在统计…"));
    } else if (p.bytesTotal > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(1000.0 * static_cast<double>(p.bytesDone) /
                                        static_cast<double>(p.bytesTotal)));
        counts_->setText(
            QCoreApplication::translate("qb::OperationDialogs", "已完成 %1 / %2，%3 / %4 个文件")
                .arg(operationSizeText(p.bytesDone), operationSizeText(p.bytesTotal))
                .arg(p.filesDone)
                .arg(p.filesTotal));
    } else {
        bar_->setRange(0, 0); // nothing to measure: a move by renaming
        counts_->setText(QCoreApplication::translate("qb::OperationDialogs", "已完成 %1 个项目")
                             .arg(p.filesDone));
    }
    refreshQueue();
    const double speed = activeSecs > 0.2 ? static_cast<double>(p.bytesDone) / activeSecs : 0;
    if (paused_) {
        left_->setText(QCoreApplication::translate("qb::OperationDialogs", "已暂停"));
    } else if (speed > 0 && activeSecs >= 1.0) {
        speed_->setText(QCoreApplication::translate("qb::OperationDialogs", "速度：%1/秒")
                            .arg(operationSizeText(static_cast<std::uint64_t>(speed))));
        const auto left = static_cast<double>(p.bytesTotal - std::min(p.bytesDone, p.bytesTotal));
        left_->setText(QCoreApplication::translate("qb::OperationDialogs", "剩余时间：约 %1")
                           .arg(durationText(left / speed)));
    } else {
        speed_->setText(QCoreApplication::translate("qb::OperationDialogs", "速度：正在计算…"));
        left_->setText(QCoreApplication::translate("qb::OperationDialogs", "剩余时间：正在计算…"));
    }
}

void ProgressDialog::setJobName(const QString& name) {
    job_->setVisible(!name.isEmpty());
    job_->setText(QCoreApplication::translate("qb::OperationDialogs", "任务：%1").arg(name));
    setWindowTitle(name.isEmpty() ? appTitle() : appTitle() + QStringLiteral(" - ") + name);
}

void ProgressDialog::setPauseHandler(std::function<void(bool)> pause) {
    onPause_ = std::move(pause);
    pause_->setVisible(bool(onPause_));
}

void ProgressDialog::showPaused(bool paused) {
    paused_ = paused;
    pause_->setText(paused ? QCoreApplication::translate("qb::OperationDialogs", "继续")
                           : QCoreApplication::translate("qb::OperationDialogs", "暂停"));
    if (paused) left_->setText(QCoreApplication::translate("qb::OperationDialogs", "已暂停"));
}

// The other jobs are listed while there are any besides this one.
void ProgressDialog::refreshQueue() {
    const std::vector<QueueRow> rows = dropQueueRows();
    const bool shown = rows.size() > 1;
    queueTitle_->setVisible(shown);
    queue_->setVisible(shown);
    remove_->setVisible(shown);
    std::vector<quint64> ids;
    QStringList texts;
    for (const QueueRow& r : rows) {
        ids.push_back(r.id);
        texts << queueRowText(r);
    }
    bool same = ids == queueIds_ && queue_->count() == texts.size();
    for (int i = 0; same && i < texts.size(); ++i)
        same = queue_->item(i)->text() == texts[i];
    if (same) return;
    const quint64 selected =
        queue_->currentRow() >= 0 &&
                static_cast<std::size_t>(queue_->currentRow()) < queueIds_.size()
            ? queueIds_[static_cast<std::size_t>(queue_->currentRow())]
            : 0;
    queueIds_ = ids;
    queue_->clear();
    queue_->addItems(texts);
    for (std::size_t i = 0; i < ids.size(); ++i)
        if (ids[i] == selected) queue_->setCurrentRow(static_cast<int>(i));
    if (queue_->currentRow() < 0) remove_->setEnabled(false);
    if (!shown || !lcDrop().isInfoEnabled()) return;
    // Where the rows and buttons are once the window has grown to hold them.
    QTimer::singleShot(100, this, [this] {
        if (!queue_->isVisible()) return;
        logButtonPlaces(this);
        for (int i = 0; i < queue_->count(); ++i) {
            const QRect r = queue_->visualItemRect(queue_->item(i));
            const QPoint at = queue_->viewport()->mapTo(this, r.topLeft());
            qCInfo(lcDrop).noquote()
                << "button of" << objectName() << QStringLiteral("row%1").arg(i) << "at" << at.x()
                << at.y() << r.width() << r.height();
        }
    });
}

void ProgressDialog::cancelling() {
    cancel_->setEnabled(false);
    pause_->setEnabled(false);
    left_->setText(QCoreApplication::translate("qb::OperationDialogs", "正在取消…"));
}

void ProgressDialog::reject() {
    if (onCancel_) onCancel_();
}

QLabel* ProgressDialog::label(QVBoxLayout* lay, const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextFormat(Qt::PlainText);
    lay->addWidget(l);
    return l;
}

} // namespace qb
