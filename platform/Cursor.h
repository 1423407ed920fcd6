#pragma once
#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>

class QDBusConnection;
class QTemporaryFile;

namespace qb {

// The global cursor position in screen pixels. Edge docking polls it ten times
// a second; tests install a fake so they can put the cursor anywhere, off-screen
// included, without a real pointer.
class Cursor {
public:
    virtual ~Cursor() = default;
    virtual QPoint pos() const = 0;
    // Whether the display server knows where the pointer is now. Xwayland follows
    // the pointer only over X windows: over a Wayland window it keeps reporting
    // the last place it saw, which says nothing about where the pointer is.
    virtual bool seen() const { return true; }
};

// The pointer as the compositor reports it through the session bus, where it
// can (KWin): see Cursor.cpp.
class CompositorPointer final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.quillbeck.Pointer")

public:
    // Null where no compositor on the session bus reports its pointer.
    static CompositorPointer* start();
    ~CompositorPointer() override;
    // None until the first report.
    std::optional<QPoint> pos() const { return at_; }

public slots:
    Q_SCRIPTABLE void moved(double x, double y);
    Q_SCRIPTABLE void moved(int x, int y);

private:
    CompositorPointer();
    bool load(QDBusConnection& bus);
    QTemporaryFile* script_ = nullptr;
    QString plugin_;
    std::optional<QPoint> at_;
};

// The installed implementation (the real pointer unless a test installed another).
Cursor& cursor();
// Installs `c` (not owned); nullptr restores the real pointer.
void setCursor(Cursor* c);

} // namespace qb
