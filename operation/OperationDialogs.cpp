// The operation's dialogs: the replace and merge questions, the error box, where they show.
#include "operation/OperationDialogs.h"

#include "operation/DropHistory.h"
#include "operation/FileOperation.h"
#include "operation/Log.h"
#include "operation/QueueRows.h"
#include "platform/Dialogs.h"
#include "platform/X11Window.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
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
#include <utility>
#include <vector>

namespace qb {

namespace {

QString dateText(std::int64_t secs) {
    return QDateTime::fromSecsSinceEpoch(secs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// A path, and for a link what it points to.
QString described(const ItemInfo& i) {
    if (!i.isLink) return pathText(i.path);
    return QCoreApplication::translate("qb::OperationDialogs", "%1\n（符号链接，指向“%2”）")
        .arg(pathText(i.path), pathText(i.linkTarget));
}

QString baseName(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(u'/'))
        p.chop(1);
    return p.mid(p.lastIndexOf(u'/') + 1);
}

QString& questionJobName() {
    static QString name;
    return name;
}

// One button of a question box, and the answer it gives.
struct AnswerButton {
    AnswerButton(QString t, QMessageBox::ButtonRole r, int a, QString name = {})
        : text(std::move(t)), role(r), answer(a), objectName(std::move(name)) {}
    QString text;
    QMessageBox::ButtonRole role;
    int answer;
    QString objectName; // buttons that have one sit in a row of their own, below the others
};

// A row of buttons under the box's own: one row of them all would be too wide to
// fit beside the board.
QDialogButtonBox* addButtonRow(QMessageBox& box) {
    auto* row = new QDialogButtonBox(&box);
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    const auto* buttons = box.findChild<QDialogButtonBox*>();
    int r = 0, column = 0, rows = 1, columns = 1;
    if (grid && buttons && grid->indexOf(buttons) >= 0) {
        grid->getItemPosition(grid->indexOf(buttons), &r, &column, &rows, &columns);
        grid->addWidget(row, grid->rowCount(), column, 1, columns);
    }
    return row;
}

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
    auto chosen = std::make_shared<QAbstractButton*>(nullptr); // in the row below
    QDialogButtonBox* below = nullptr;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        QPushButton* b = nullptr;
        if (choices[i].objectName.isEmpty()) {
            b = box->addButton(choices[i].text, choices[i].role);
        } else {
            if (!below) below = addButtonRow(*box);
            b = below->addButton(choices[i].text, QDialogButtonBox::ButtonRole(choices[i].role));
            b->setObjectName(choices[i].objectName);
            QObject::connect(b, &QPushButton::clicked, box, [box, chosen, b] {
                *chosen = b;
                box->done(QDialog::Accepted);
            });
        }
        answers->emplace_back(b, choices[i].answer);
        if (static_cast<int>(i) == defaultIndex) box->setDefaultButton(b);
        if (choices[i].answer == escapeAnswer) box->setEscapeButton(b);
    }
    QObject::connect(box, &QDialog::finished, box, [box, answers, chosen, escapeAnswer, reply] {
        int answer = escapeAnswer;
        const QAbstractButton* clicked = *chosen ? *chosen : box->clickedButton();
        for (const auto& [button, a] : *answers)
            if (button == clicked) answer = a;
        qCInfo(lcDrop).noquote() << "answer of" << box->objectName()
                                 << (clicked ? clicked->text() : QStringLiteral("(closed)"));
        reply(answer);
    });
    placeOnScreen(box, parent);
    box->open();
    logButtonPlaces(box);
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
                .arg(baseName(pathText(existing.path)), described(incoming),
                     operationSizeText(incoming.size), dateText(incoming.mtime),
                     described(existing), operationSizeText(existing.size),
                     dateText(existing.mtime));
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
                .arg(baseName(pathText(existing.path)), pathText(incoming.path),
                     dateText(incoming.mtime), pathText(existing.path), dateText(existing.mtime));
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
                 {QCoreApplication::translate("qb::OperationDialogs", "保留两者"),
                  QMessageBox::ActionRole, int(ReplaceAnswer::KeepBoth),
                  QStringLiteral("keepBothButton")},
                 {QCoreApplication::translate("qb::OperationDialogs", "全部保留两者"),
                  QMessageBox::ActionRole, int(ReplaceAnswer::KeepBothToAll),
                  QStringLiteral("keepBothAllButton")},
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

QString operationSizeText(std::uint64_t bytes) {
    return QLocale::system().formattedDataSize(static_cast<qint64>(bytes), 1,
                                               QLocale::DataSizeTraditionalFormat);
}

void logButtonPlaces(QWidget* w) {
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
        const QRect pr = frameRect(*parent->window());
        if (avail.contains(pr)) centre = pr.center();
    }
    QRect r(QPoint(0, 0), frameRect(*w).size());
    r.moveCenter(centre);
    r.moveLeft(
        std::clamp(r.left(), avail.left(), std::max(avail.left(), avail.right() - r.width())));
    r.moveTop(std::clamp(r.top(), avail.top(), std::max(avail.top(), avail.bottom() - r.height())));
    w->move(r.topLeft());
}

} // namespace qb
