#pragma once
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>
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
    // Whether a mouse button is held down now; unknown where the display server
    // cannot tell. A drag that leaves with no button held was let go.
    virtual std::optional<bool> buttonHeld() const { return std::nullopt; }
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

// Input that reached none of the program's windows. After absolute motion only
// (a virtual machine's or a remote desktop's pointer), GNOME's Xwayland tells X
// programs nothing when the pointer leaves them for a Wayland window, but the
// compositor still reports that there was input. Reports that keep coming while
// the program's own windows get none mean that the pointer is elsewhere.
class UnseenInput {
public:
    // A report this soon after the program's own input is that input's.
    static constexpr qint64 kEchoMs = 50;
    // Fewer are a key or two for the desktop's own shortcuts, no move.
    static constexpr int kReports = 3;

    // The program's windows got input (motion, a key, a drag over them) at `ms`:
    // the pointer is here, whatever was reported before.
    void own(qint64 ms) {
        ownAt_ = ms;
        unseen_ = 0;
    }
    // The compositor reports input somewhere at `ms`.
    void reported(qint64 ms) {
        if (!ownAt_ || ms - *ownAt_ >= kEchoMs) ++unseen_;
    }
    bool elsewhere() const { return unseen_ >= kReports; }

private:
    std::optional<qint64> ownAt_;
    int unseen_ = 0;
};

// The compositor's reports of input where it gives them to any program on the
// session bus (GNOME's idle monitor), held against the input the program's own
// X windows get: see Cursor.cpp.
class CompositorActivity final : public QObject {
    Q_OBJECT

public:
    // Null where no compositor on the session bus reports input.
    static CompositorActivity* start();
    ~CompositorActivity() override;
    bool elsewhere() const { return input_.elsewhere(); }

private slots:
    void fired(uint watch);

private:
    class OwnInput;
    CompositorActivity();
    void arm();
    UnseenInput input_;
    std::unique_ptr<OwnInput> own_;
    std::optional<uint> watch_;
    bool arming_ = false;
};

// The installed implementation (the real pointer unless a test installed another).
Cursor& cursor();
// Installs `c` (not owned); nullptr restores the real pointer.
void setCursor(Cursor* c);

} // namespace qb
