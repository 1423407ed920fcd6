#pragma once
// The program's presence on the desktop beyond its windows: a tray icon whose
// click shows or hides the board and whose menu offers the account, help, start
// at login and quit; and a notification when a long copy or move ends unseen.
#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class TForm1;

namespace qb {

namespace history {
class Journal;
}
class SendMenus;
class SendServer;
class SendService;

// The main window as the tray and the notifications see it: what they need of it.
class TrayWindow {
public:
    virtual ~TrayWindow() = default;
    // Mapped and at least partly on a screen.
    virtual bool shown() const = 0;
    // Shown, and the program holds the active window: the user is looking at it.
    virtual bool inUse() const = 0;
    // Shows the board where the user sees it (also one docked beyond the edge).
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual QString currentAccount() const = 0;
    virtual void showHelp() = 0;
    // Ends the program as its exit button does.
    virtual void quit() = 0;
    // The drop journal, or null where there is none.
    virtual history::Journal* journal() const { return nullptr; }
    // Asks about undoing drop `dropId` and runs it once confirmed.
    virtual void undo(std::int64_t dropId) { (void)dropId; }
    virtual void showHistory() {}
};

class ShowShortcut;
struct DropReport;
struct NoticeAction;
// The buttons of a drop's notification: undo it (while it is the drop an undo
// takes back) and open its folder. `board` must outlive the notification.
QList<NoticeAction> noticeActions(TrayWindow& board, const DropReport& report);

// The main window as a TrayWindow.
std::unique_ptr<TrayWindow> trayWindowOf(TForm1& form);

// The tray icon and its menu. Where the desktop has no tray nothing shows, and
// the program works as without it.
class Tray : public QObject {
    Q_OBJECT

public:
    // `program` is what start at login starts: the executable the user runs.
    Tray(TrayWindow& board, const QString& program, QObject* parent = nullptr);
    ~Tray() override;

    QMenu* menu() const { return menu_.get(); }
    QSystemTrayIcon* icon() const { return icon_; }

    // A left click on the icon: hides a shown board, shows a hidden one.
    void toggleBoard();
    // The menu's account, checks and enabled items from the present state (also
    // run each time the menu opens).
    void refresh();
    // The undo entry from the journal (run each time the menu opens).
    void refreshUndo();
    // Offers the switch of the file managers' menus.
    void setSendMenus(SendMenus* menus);

private:
    QAction* addAction(const char* name, const QString& text, void (Tray::*slot)());
    void showBoard();
    void hideBoard();
    void showHelp();
    void undo();
    void showHistory();
    void switchAutostart();
    void switchSendMenus();
    void quit();

    TrayWindow& board_;
    QString program_;
    std::unique_ptr<QMenu> menu_;
    QSystemTrayIcon* icon_ = nullptr;
    QAction* account_ = nullptr;
    QAction* show_ = nullptr;
    QAction* hide_ = nullptr;
    QAction* autostart_ = nullptr;
    QAction* sendMenusAction_ = nullptr;
    SendMenus* sendMenus_ = nullptr;
    QAction* undo_ = nullptr;
    std::int64_t undoable_ = 0; // the drop the undo entry names
};

// The program's icon: the installed theme's, or the one built into the program.
QIcon programIcon();

// Everything above for the running program; made after the windows, destroyed
// before them.
class DesktopIntegration {
public:
    explicit DesktopIntegration(TForm1& form);
    ~DesktopIntegration();
    DesktopIntegration(const DesktopIntegration&) = delete;
    DesktopIntegration& operator=(const DesktopIntegration&) = delete;

    Tray& tray() const { return *tray_; }

private:
    std::unique_ptr<TrayWindow> board_;
    std::unique_ptr<Tray> tray_;
    // Requests from `quillbeck send` and the file managers' menus.
    std::unique_ptr<SendService> sendService_;
    std::unique_ptr<SendServer> sendServer_;
    std::unique_ptr<SendMenus> sendMenus_;
    std::unique_ptr<ShowShortcut> shortcut_;
};

} // namespace qb
