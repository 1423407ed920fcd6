#include "app/Tray.h"

#include "app/BoardKeys.h"
#include "app/SendService.h"
#include "app/ShowShortcut.h"
#include "app/Startup.h"
#include "app/Unit1.h"
#include "board/Accounts.h"
#include "drop/DropReport.h"
#include "drop/UndoController.h"
#include "history/Journal.h"
#include "platform/Autostart.h"
#include "platform/GlobalShortcut.h"
#include "platform/Handler.h"
#include "platform/InstanceGuard.h"
#include "platform/Notifier.h"
#include "platform/Opener.h"
#include "platform/Product.h"
#include "platform/X11Window.h"
#include "store/Account.h"

#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>

namespace qb {

namespace {

class MainTrayWindow final : public TrayWindow {
public:
    explicit MainTrayWindow(TForm1& form) : form_(&form) {}

    bool shown() const override { return form_ && form_->isVisible() && onScreen(); }
    bool inUse() const override {
        return shown() && QGuiApplication::applicationState() == Qt::ApplicationActive;
    }
    void show() override {
        if (!form_) return;
        // The window manager drops a withdrawn window's states: the board must come
        // back without a taskbar entry, as it first appeared.
        if (!form_->isVisible()) makeDockWindow(form_);
        form_->show();
        // Docked beyond the left edge: back to the edge, as touching it does; the
        // check of a hide just made must not take this for a refusal.
        form_->docking().windowPlaced();
        if (!onScreen()) form_->move(0, qb::frameRect(*form_).y());
        form_->raise();
        form_->activateWindow();
        takeKeyboard(form_);
    }
    void hide() override {
        if (form_) form_->hide();
    }
    QString currentAccount() const override { return accountState().currentAccount; }
    void showHelp() override {
        if (TForm1* f = form_) runHandler(f, [f] { f->Button3Click(); });
    }
    void quit() override {
        if (TForm1* f = form_) runHandler(f, [f] { f->Button4Click(); });
    }
    history::Journal* journal() const override {
        return form_ ? DropHistory::instance().recorded() : nullptr;
    }
    void undo(std::int64_t dropId) override {
        if (TForm1* f = form_) runHandler(f, [f, dropId] { f->undoController().undo(dropId); });
    }
    void showHistory() override {
        if (TForm1* f = form_) runHandler(f, [f] { f->showHistory(); });
    }

private:
    bool onScreen() const {
        const QRect frame = qb::frameRect(*form_);
        for (const QScreen* screen : QGuiApplication::screens())
            if (screen->geometry().intersects(frame)) return true;
        return false;
    }

    QPointer<TForm1> form_;
};

} // namespace

QList<NoticeAction> noticeActions(TrayWindow& board, const DropReport& report) {
    QList<NoticeAction> actions;
    // Undo is offered only for the drop the notice is about: the newest one, and
    // only while an undo would take that one back.
    if (const history::Journal* journal = board.journal()) {
        const auto newest = journal->drops({}, 1);
        const std::int64_t last = journal->lastUndoable();
        if (!newest.empty() && newest.front().id == last && !report.done.isEmpty() &&
            !report.unrecorded)
            actions << NoticeAction{QStringLiteral("undo"),
                                    QCoreApplication::translate("qb::Tray", "撤销"),
                                    [&board, last] { board.undo(last); }};
    }
    actions << NoticeAction{QStringLiteral("open-folder"),
                            QCoreApplication::translate("qb::Tray", "打开文件夹"),
                            [folder = report.destFolder] { opener().openFolder(folder, {}); }};
    return actions;
}

std::unique_ptr<TrayWindow> trayWindowOf(TForm1& form) {
    return std::make_unique<MainTrayWindow>(form);
}

QIcon programIcon() {
    QIcon builtIn;
    for (int size : {16, 22, 24, 32, 48, 64})
        builtIn.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(applicationId(), builtIn);
}

Tray::Tray(TrayWindow& board, const QString& program, QObject* parent)
    : QObject(parent), board_(board), program_(program), menu_(std::make_unique<QMenu>()) {
    menu_->setObjectName(QStringLiteral("TrayMenu"));
    account_ = menu_->addAction(QString());
    account_->setObjectName(QStringLiteral("TrayAccount"));
    account_->setEnabled(false);
    menu_->addSeparator();
    show_ = addAction("TrayShow", QCoreApplication::translate("qb::Tray", "显示主窗口"),
                      &Tray::showBoard);
    hide_ = addAction("TrayHide", QCoreApplication::translate("qb::Tray", "隐藏主窗口"),
                      &Tray::hideBoard);
    menu_->addSeparator();
    undo_ = addAction("TrayUndo", QCoreApplication::translate("qb::Tray", "撤销"), &Tray::undo);
    undo_->setEnabled(false);
    addAction("TrayHistory", QCoreApplication::translate("qb::Tray", "历史记录…"),
              &Tray::showHistory);
    menu_->addSeparator();
    addAction("TrayHelp", QCoreApplication::translate("qb::Tray", "帮助"), &Tray::showHelp);
    autostart_ = addAction("TrayAutostart", QCoreApplication::translate("qb::Tray", "登录时启动"),
                           &Tray::switchAutostart);
    autostart_->setCheckable(true);
    sendMenusAction_ = addAction(
        "TraySendMenus", QCoreApplication::translate("qb::Tray", "在文件管理器中显示“发送到”菜单"),
        &Tray::switchSendMenus);
    sendMenusAction_->setCheckable(true);
    sendMenusAction_->setVisible(false);
    menu_->addSeparator();
    addAction("TrayQuit", QCoreApplication::translate("qb::Tray", "退出"), &Tray::quit);
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        runHandler(nullptr, [this] {
            refresh();
            refreshUndo();
        });
    });
    // The journal is opened when the menu first needs it, not while the program starts.
    refresh();

    icon_ = new QSystemTrayIcon(programIcon(), this);
    icon_->setObjectName(QStringLiteral("TrayIcon"));
    icon_->setToolTip(QStringLiteral("QuillbeckV9.6"));
    icon_->setContextMenu(menu_.get());
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger) runHandler(nullptr, [this] { toggleBoard(); });
            });
    icon_->show();
    refreshAutostart(program_);
}

// The icon goes before its menu.
Tray::~Tray() {
    delete icon_;
    icon_ = nullptr;
}

QAction* Tray::addAction(const char* name, const QString& text, void (Tray::*slot)()) {
    QAction* action = menu_->addAction(text);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this,
            [this, slot] { runHandler(nullptr, [this, slot] { (this->*slot)(); }); });
    return action;
}

void Tray::toggleBoard() {
    if (board_.shown())
        board_.hide();
    else
        board_.show();
}

void Tray::refresh() {
    // A menu entry takes "&" for a shortcut mark; a name shows as it is.
    QString name = shownAccountName(board_.currentAccount());
    account_->setText(QCoreApplication::translate("qb::Tray", "用户：%1")
                          .arg(name.replace(u'&', QStringLiteral("&&"))));
    autostart_->setChecked(autostartEnabled());
    if (sendMenus_) sendMenusAction_->setChecked(sendMenus_->enabled());
}

void Tray::setSendMenus(SendMenus* menus) {
    sendMenus_ = menus;
    sendMenusAction_->setVisible(menus != nullptr);
    refresh();
}

// The check follows the stored choice, so a refused write shows as unchanged.
void Tray::switchSendMenus() {
    if (sendMenus_) sendMenus_->setEnabled(sendMenusAction_->isChecked());
    refresh();
}

// The entry names the drop it takes back, as it is when the menu opens.
void Tray::refreshUndo() {
    const history::Journal* journal = board_.journal();
    undoable_ = journal ? journal->lastUndoable() : 0;
    const auto drop = undoable_ ? journal->drop(undoable_) : std::nullopt;
    if (!drop) undoable_ = 0;
    undo_->setText(drop ? undoEntryText(*drop).replace(u'&', QStringLiteral("&&"))
                        : QCoreApplication::translate("qb::Tray", "撤销"));
    undo_->setEnabled(undoable_ != 0);
}

void Tray::undo() {
    if (undoable_) board_.undo(undoable_);
}

void Tray::showHistory() {
    board_.showHistory();
}

void Tray::showBoard() {
    board_.show();
}

void Tray::hideBoard() {
    board_.hide();
}

void Tray::showHelp() {
    board_.showHelp();
}

// The check follows what is on disk, so a refused write shows as unchanged.
void Tray::switchAutostart() {
    setAutostart(autostart_->isChecked(), program_);
    autostart_->setChecked(autostartEnabled());
}

void Tray::quit() {
    board_.quit();
}

DesktopIntegration::DesktopIntegration(TForm1& form) : board_(trayWindowOf(form)) {
    QGuiApplication::setDesktopFileName(applicationId());
    QApplication::setWindowIcon(programIcon());
    // The board may be hidden in the tray; the program ends only through its exit.
    QApplication::setQuitOnLastWindowClosed(false);
    tray_ = std::make_unique<Tray>(*board_, QCoreApplication::applicationFilePath());
    sendService_ = std::make_unique<SendService>(form, *board_);
    sendServer_ = std::make_unique<SendServer>(*sendService_);
    sendServer_->listen(sendSocketPath(instanceLockPath(instanceName())));
    sendMenus_ = std::make_unique<SendMenus>(QCoreApplication::applicationFilePath());
    tray_->setSendMenus(sendMenus_.get());
    setDropReportSink([board = board_.get()](const DropReport& report) {
        if (!worthNotice(report.clock.elapsed(), noticeThresholdMs(), board->inUse())) return;
        if (const auto notice = dropNotice(report))
            sendNotice(*notice, noticeActions(*board, report));
    });
    shortcut_ = std::make_unique<ShowShortcut>(
        makeGlobalShortcut(), [&form] { form.boardKeys().bringBoard(); },
        [&form](const QString& text) { form.setStatusText(text); });
    shortcut_->start();
    QMenu* menu = tray_->menu();
    auto* keys = new QAction(QCoreApplication::translate("qb::Tray", "全局快捷键…"), menu);
    keys->setObjectName(QStringLiteral("TrayShortcut"));
    menu->insertAction(menu->findChild<QAction*>(QStringLiteral("TrayHelp")), keys);
    QObject::connect(keys, &QAction::triggered, menu, [this, &form] {
        runHandler(nullptr, [this, &form] { shortcut_->edit(&form); });
    });
}

DesktopIntegration::~DesktopIntegration() {
    setDropReportSink({});
    // No request reaches the windows once they begin to go.
    sendServer_.reset();
}

} // namespace qb
