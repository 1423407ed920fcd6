#pragma once
// The global shortcut that brings the board: kept in sys.ini, bound when the
// program starts, changed in a small dialog from the tray menu. A key another
// program holds is said on the status line, never passed over in silence.
#include <QKeySequence>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace qb {

class GlobalShortcut;

class ShowShortcut final : public QObject {
    Q_OBJECT

public:
    // `binding` may be null: the desktop offers no global shortcut to programs.
    // `bring` brings the board; `report` puts a text on the status line.
    ShowShortcut(std::unique_ptr<GlobalShortcut> binding, std::function<void()> bring,
                 std::function<void(const QString&)> report);
    ~ShowShortcut() override;

    // Ctrl+Alt+Q: free in the default bindings of the common desktops.
    static QKeySequence defaultKeys();
    // The stored combination; the default where none is stored, empty where the
    // user chose none.
    static QKeySequence stored();
    static void store(const QKeySequence& keys);

    // Binds the stored combination.
    void start();
    // Binds `keys` and stores it once bound; a refusal keeps what was bound before
    // and says why in `why`.
    bool change(const QKeySequence& keys, QString* why);
    // The dialog that changes it.
    void edit(QWidget* parent);

    bool available() const { return binding_ != nullptr && offered_; }
    QKeySequence bound() const { return bound_; }

private:
    std::unique_ptr<GlobalShortcut> binding_;
    std::function<void()> bring_;
    std::function<void(const QString&)> report_;
    QKeySequence bound_;
    bool offered_ = true;
};

} // namespace qb
