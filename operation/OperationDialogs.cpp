// The operation's dialogs: progress, the replace and merge questions, the error box.
#include "operation/OperationDialogs.h"

#include "operation/FileOperation.h"
#include "operation/Log.h"
#include "operation/QueueRows.h"
#include "platform/Dialogs.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QFile>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <vector>

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

// A path, and for a link what it points to.
QString described(const ItemInfo& i) {
    if (!i.isLink) return fromPath(i.path);
    return QCoreApplication::translate("qb::OperationDialogs", "%1\n（符号链接，指向“%2”）")
        .arg(fromPath(i.path), fromPath(i.linkTarget));
}

QString baseName(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);
    return p.mid(p.lastIndexOf(u'/') + 1);
}

// Where a window's buttons ended up, once it is on screen: window managers
// differ in where they put boxes, and a button out of reach strands a drop.
void logButtons(QWidget* w) {
    if (!lcDrop().isInfoEnabled()) return;
    QTimer::singleShot(0, w, [w = QPointer<QWidget>(w)] {
        if (!w) return;
        for (const QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
            if (!b->isVisible()) continue;
            const QRect r(b->mapTo(w, QPoint(0, 0)), b->size());
            qCInfo(lcDrop).noquote() << "button of" << w->objectName() << b->text() << "at" << r.x()
                                     << r.y() << r.width() << r.height();
        }
    });
}

QString& questionJobName() {
    static QString name;
    return name;
}

// One button of a question box, and the answer it gives.
struct AnswerButton {
    QString text;
    QMessageBox::ButtonRole role;
    int answer;
};

// A message box settles its size (wrapping its text) only as it is shown, so it
// is placed again then, before it is mapped: placed by its wider first size it
// can land over the board.
class PlacedBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e);
        placeOnScreen(this, parentWidget());
    }
};

// A question box that deletes itself and reports which button ended it, once.
void openBox(QWidget* parent, QMessageBox::Icon icon, const QString& objectName,
             const QString& title, const QString& text, const QString& informative,
             const std::vector<AnswerButton>& choices, int defaultIndex, int escapeAnswer,
             std::function<void(int)> reply) {
    auto* box = new PlacedBox(icon, appTitle(), text, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(objectName);
    if (!title.isEmpty()) box->setWindowTitle(appTitle() + QStringLiteral(" - ") + title);
    const QString& job = questionJobName();
    if (!job.isEmpty()) {
        box->setWindowTitle(box->windowTitle() + QStringLiteral(" - ") + job);
        box->setText(
            QCoreApplication::translate("qb::OperationDialogs", "任务“%1”：\n\n%2").arg(job, text));
    }
    if (!informative.isEmpty()) box->setInformativeText(informative);
    showAsPlainText(*box);
    auto answers = std::make_shared<std::vector<std::pair<QAbstractButton*, int>>>();
    for (std::size_t i = 0; i < choices.size(); ++i) {
        QPushButton* b = box->addButton(choices[i].text, choices[i].role);
        answers->emplace_back(b, choices[i].answer);
        if (static_cast<int>(i) == defaultIndex) box->setDefaultButton(b);
        if (choices[i].answer == escapeAnswer) box->setEscapeButton(b);
    }
    QObject::connect(box, &QDialog::finished, box, [box, answers, escapeAnswer, reply] {
        int answer = escapeAnswer;
        for (const auto& [button, a] : *answers)
            if (button == box->clickedButton()) answer = a;
        qCInfo(lcDrop).noquote() << "answer of" << box->objectName()
                                 << (box->clickedButton() ? box->clickedButton()->text()
                                                          : QStringLiteral("(closed)"));
        reply(answer);
    });
    placeOnScreen(box, parent);
    box->open();
    logButtons(box);
}

class QtPrompts final : public OperationPrompts {
public:
    void askReplace(QWidget* parent, const ItemInfo& existing, const ItemInfo& incoming,
                    ReplaceReply answer) override {
        QString text =
            QCoreApplication::translate("qb::OperationDialogs",
                                        "目标文件夹中已有名为“%1”的文件。\n\n"
                                        "是否用这个文件：\n%2\n大小：%3，修改时间：%4\n\n"
                                        "替换现有的文件：\n%5\n大小：%6，修改时间：%7")
                .arg(baseName(fromPath(existing.path)), described(incoming),
                     sizeText(incoming.size), dateText(incoming.mtime), described(existing),
                     sizeText(existing.size), dateText(existing.mtime));
        if (existing.noTrash)
            text += QStringLiteral("\n\n") +
                    QCoreApplication::translate(
                        "qb::OperationDialogs",
                        "注意：回收站无法接收现有的文件，替换后它将被永久删除。");
        ask(parent, QCoreApplication::translate("qb::OperationDialogs", "替换文件"), text,
            std::move(answer));
    }
    void askMerge(QWidget* parent, const ItemInfo& existing, const ItemInfo& incoming,
                  ReplaceReply answer) override {
        const QString text =
            QCoreApplication::translate("qb::OperationDialogs",
                                        "目标文件夹中已有名为“%1”的文件夹。\n\n"
                                        "是否把这个文件夹：\n%2\n修改时间：%3\n\n"
                                        "合并到现有的文件夹：\n%4\n修改时间：%5\n\n"
                                        "选“是”，其中的同名文件将逐个询问是否替换；"
                                        "选“全部是”，同名文件全部替换，不再询问。")
                .arg(baseName(fromPath(existing.path)), fromPath(incoming.path),
                     dateText(incoming.mtime), fromPath(existing.path), dateText(existing.mtime));
        ask(parent, QCoreApplication::translate("qb::OperationDialogs", "合并文件夹"), text,
            std::move(answer));
    }
    void askError(QWidget* parent, const OpError& error, const QString& text,
                  ErrorReply answer) override {
        const auto reply = [answer](int a) { answer(ErrorAnswer(a)); };
        const int cancel = int(ErrorAnswer::Cancel);
        if (!error.canSkip) {
            openBox(parent, QMessageBox::Critical, QStringLiteral("operationError"), {}, text, {},
                    {{QCoreApplication::translate("qb::OperationDialogs", "确定"),
                      QMessageBox::AcceptRole, cancel}},
                    0, cancel, reply);
            return;
        }
        openBox(parent, QMessageBox::Critical, QStringLiteral("operationError"), {}, text,
                QCoreApplication::translate("qb::OperationDialogs",
                                            "跳过这个文件继续，还是取消整个操作？"),
                {{QCoreApplication::translate("qb::OperationDialogs", "跳过"),
                  QMessageBox::AcceptRole, int(ErrorAnswer::Skip)},
                 {QCoreApplication::translate("qb::OperationDialogs", "全部跳过"),
                  QMessageBox::AcceptRole, int(ErrorAnswer::SkipAll)},
                 {QCoreApplication::translate("qb::OperationDialogs", "取消"),
                  QMessageBox::RejectRole, cancel}},
                0, cancel, reply);
    }

private:
    static void ask(QWidget* parent, const QString& title, const QString& text,
                    ReplaceReply answer) {
        openBox(parent, QMessageBox::Question, QStringLiteral("replaceQuestion"), title, text, {},
                {{QCoreApplication::translate("qb::OperationDialogs", "是"), QMessageBox::YesRole,
                  int(ReplaceAnswer::Yes)},
                 {QCoreApplication::translate("qb::OperationDialogs", "全部是"),
                  QMessageBox::YesRole, int(ReplaceAnswer::YesToAll)},
                 {QCoreApplication::translate("qb::OperationDialogs", "否"), QMessageBox::NoRole,
                  int(ReplaceAnswer::No)},
                 {QCoreApplication::translate("qb::OperationDialogs", "全部否"),
                  QMessageBox::NoRole, int(ReplaceAnswer::NoToAll)},
                 {QCoreApplication::translate("qb::OperationDialogs", "取消"),
                  QMessageBox::RejectRole, int(ReplaceAnswer::Cancel)}},
                0, int(ReplaceAnswer::Cancel), [answer](int a) { answer(ReplaceAnswer(a)); });
    }
};

QtPrompts qtPrompts;
OperationPrompts* installedPrompts = nullptr;

} // namespace

void OperationPrompts::askClash(QWidget* parent, const QString& taken, const QString& item,
                                bool canTrash, ClashReply answer) {
    using history::ClashAnswer;
    const QString text =
        QCoreApplication::translate("qb::OperationDialogs", "“%1”原来的位置已被另一项占用：\n%2\n\n"
                                                            "它现在位于：\n%3")
            .arg(baseName(taken), taken, item);
    std::vector<AnswerButton> choices{
        {QCoreApplication::translate("qb::OperationDialogs", "改名放回"), QMessageBox::AcceptRole,
         int(ClashAnswer::Rename)}};
    if (canTrash)
        choices.push_back(
            {QCoreApplication::translate("qb::OperationDialogs", "替换（旧项放入回收站）"),
             QMessageBox::AcceptRole, int(ClashAnswer::Replace)});
    choices.push_back({QCoreApplication::translate("qb::OperationDialogs", "跳过"),
                       QMessageBox::RejectRole, int(ClashAnswer::Skip)});
    choices.push_back({QCoreApplication::translate("qb::OperationDialogs", "取消"),
                       QMessageBox::RejectRole, int(ClashAnswer::Cancel)});
    openBox(parent, QMessageBox::Question, QStringLiteral("clashQuestion"),
            QCoreApplication::translate("qb::OperationDialogs", "位置已被占用"), text,
            QCoreApplication::translate("qb::OperationDialogs",
                                        "改名放回：以新名字放回原文件夹，占用的一项保持不动。"),
            choices, 0, int(ClashAnswer::Cancel), [answer](int a) { answer(ClashAnswer(a)); });
}

void OperationPrompts::askUndo(QWidget* parent, const QString& text, ConfirmReply answer) {
    openBox(
        parent, QMessageBox::Question, QStringLiteral("undoQuestion"),
        QCoreApplication::translate("qb::OperationDialogs", "撤销"), text, {},
        {{QCoreApplication::translate("qb::OperationDialogs", "撤销"), QMessageBox::AcceptRole, 1},
         {QCoreApplication::translate("qb::OperationDialogs", "取消"), QMessageBox::RejectRole, 0}},
        0, 0, [answer](int a) { answer(a == 1); });
}

JobNameScope::JobNameScope(const QString& name) : before_(questionJobName()) {
    questionJobName() = name;
}

JobNameScope::~JobNameScope() {
    questionJobName() = before_;
}

OperationPrompts& operationPrompts() {
    return installedPrompts ? *installedPrompts : qtPrompts;
}

void setOperationPrompts(OperationPrompts* p) {
    installedPrompts = p;
}

OperationPrompts& qtOperationPrompts() {
    return qtPrompts;
}

void placeOnScreen(QWidget* w, QWidget* parent) {
    keepAboveMainWindow(w);
    if (placeBesideMainWindow(w, parent)) return;
    // Over the board it would hide the slots a further drop is aimed at.
    if (moveBesideBoard(w, parent)) return;
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
    setMinimumWidth(420);
}

void ProgressDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    logButtons(this);
}

void ProgressDialog::update(const Progress& p, double activeSecs) {
    if (p.item.empty()) // nothing heard from the job yet
        item_->setText(copy_ ? QCoreApplication::translate("qb::OperationDialogs", "正在复制…")
                             : QCoreApplication::translate("qb::OperationDialogs", "正在移动…"));
    else
        item_->setText((copy_ ? QCoreApplication::translate("qb::OperationDialogs", "正在复制“%1”")
                              : QCoreApplication::translate("qb::OperationDialogs", "正在移动“%1”"))
                           .arg(fromPath(p.item)));
    const QFontMetrics fm(current_->font());
    current_->setText(fm.elidedText(fromPath(p.current), Qt::ElideMiddle, 400));
    if (p.counting) {
        bar_->setRange(0, 0);
        counts_->setText(QCoreApplication::translate("qb::OperationDialogs", "正在统计…"));
    } else if (p.bytesTotal > 0) {
        bar_->setRange(0, 1000);
        bar_->setValue(static_cast<int>(1000.0 * static_cast<double>(p.bytesDone) /
                                        static_cast<double>(p.bytesTotal)));
        counts_->setText(
            QCoreApplication::translate("qb::OperationDialogs", "已完成 %1 / %2，%3 / %4 个文件")
                .arg(sizeText(p.bytesDone), sizeText(p.bytesTotal))
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
                            .arg(sizeText(static_cast<std::uint64_t>(speed))));
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
        logButtons(this);
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
