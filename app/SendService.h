#pragma once
// The running program's side of `quillbeck send` and `quillbeck show`, and the
// file managers' "发送到 Quillbeck" menus: requests become drops onto their
// slot; the menus follow the current account's slots while they are switched on.
#include "send/SendServer.h"

#include <QObject>
#include <QString>

#include <memory>

class QTimer;
class TForm1;

namespace qb {

class TrayWindow;

class SendService final : public SendHandler {
public:
    SendService(TForm1& form, TrayWindow& board) : form_(form), board_(board) {}
    QString send(const SendRequest& request, Finished finished) override;
    void show() override;

private:
    TForm1& form_;
    TrayWindow& board_;
};

// Whether the menus are switched on: stored in the program's own settings file.
bool sendMenusEnabled();
void setSendMenusEnabled(bool enabled);

// Keeps the menu files in step with the account while switched on: they are
// rewritten once its settings file or the current account changes.
class SendMenus : public QObject {
public:
    // `program`: what the entries run.
    explicit SendMenus(const QString& program, QObject* parent = nullptr);
    // Switches the menus on or off; stores the choice. False when a file could
    // not be written or removed.
    bool setEnabled(bool enabled);
    bool enabled() const { return enabled_; }
    // Writes the files for the account as it is now (or removes them when off).
    bool refresh();

private:
    void poll();

    QString program_;
    bool enabled_ = false;
    QString seen_; // what the last refresh saw of the account and its file
    QTimer* timer_;
};

} // namespace qb
