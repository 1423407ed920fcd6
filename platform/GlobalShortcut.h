#pragma once
// A key combination that reaches the program whichever window has the keyboard:
// a key grab on X11, the desktop portal's global shortcuts on a Wayland session
// that offers them. Where neither is possible there is no binding, and the
// desktop's own shortcut settings can run `quillbeck show` instead.
#include <QDBusConnection>
#include <QKeySequence>
#include <QObject>
#include <QString>

#include <memory>

namespace qb {

class GlobalShortcut : public QObject {
    Q_OBJECT

public:
    // Binds `keys` (only its first combination counts), replacing the binding
    // before; an empty sequence only releases it. False, with the reason in
    // `why`, when the keys could not be had (another program holds them, or the
    // desktop refused); the binding before is gone then too.
    virtual bool bind(const QKeySequence& keys, QString* why) = 0;
    // A binding is being asked for and its outcome is not known yet (the portal
    // answers later, through `bound`, or `unavailable`).
    virtual bool pending() const { return false; }

signals:
    void activated();
    // The outcome of a binding that was pending: empty `why` when it holds.
    void bound(const QString& why);
    // The desktop turned out to offer no global shortcuts: nothing will be bound.
    void unavailable();
};

// The binding this session allows: the X11 grab where the program talks to an X
// server of its own (not Xwayland), the portal on a Wayland session (whether it
// offers shortcuts is learnt later, without waiting), else none.
std::unique_ptr<GlobalShortcut> makeGlobalShortcut();

// Each way on its own (tests).
std::unique_ptr<GlobalShortcut> makeX11KeyGrab();
// The portal's: asks `bus` at once whether it offers shortcuts, and answers later.
std::unique_ptr<GlobalShortcut> makePortalShortcut(const QDBusConnection& bus);

// The X keysym for a Qt key, 0 for one with none known here.
quint32 keysymOf(int qtKey);

} // namespace qb
