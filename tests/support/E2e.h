#pragma once
// End-to-end harness of the tests: the desktop, the program's sandbox and run and
// the drag source of harness/ (shared with the benchmarks), the file helpers, and
// what only the tests look at (logged buttons, a fake file manager, snapshots).
//
// Typical use in a Qt Test (QTEST_GUILESS_MAIN):
//
//   qb::e2e::Desktop desk;            // one per test program, started in initTestCase
//   QVERIFY2(desk.start(&err), qPrintable(err));
//   qb::e2e::Sandbox box;             // one per test function
//   qb::e2e::Program app(desk, box);
//   auto win = app.startToMainWindow(&err);
//   QVERIFY2(win, qPrintable(err));
//   desk.click(win->point("RadioButton3"));
#include "harness/DragSource.h"
#include "harness/Program.h"
#include "tests/support/Files.h"

#include <QByteArray>
#include <QMap>
#include <QRect>
#include <QString>
#include <QStringList>

namespace qb::e2e {

using namespace qb::test;

using harness::clientHeight;
using harness::clientWidth;
using harness::controlClickPoint;
using harness::controlRect;
using harness::defaultBinary;
using harness::Desktop;
using harness::DragSource;
using harness::MainWindow;
using harness::Program;
using harness::readSetting;
using harness::run;
using harness::RunResult;
using harness::Sandbox;
using harness::settingsLines;
using harness::sleepMs;
using harness::startGuarded;
using harness::waitUntil;
using harness::WindowInfo;
using harness::writeSetting;

// The buttons of the program's window `name` as its drop log gives them
// ("button of NAME TEXT at X Y W H"), keyed by text, in window coordinates.
QMap<QString, QRect> loggedButtons(const QString& log, const QString& name);

// A file manager registered for folders in the sandbox's own XDG profile; it
// writes each argument it gets as one line of the returned log file.
QString installFakeFileManager(const Sandbox& box);

// Every file and folder below `dir` with its bytes and modification time in
// nanoseconds, keyed by relative path: two snapshots compare equal only when
// nothing was created, removed, written or touched.
struct FileState {
    bool isDir = false;
    QByteArray bytes;
    qint64 mtimeNs = 0;
    bool operator==(const FileState&) const = default;
};
QMap<QString, FileState> snapshot(const QString& dir);
// Differences between two snapshots, one line each (empty when equal).
QStringList diff(const QMap<QString, FileState>& before, const QMap<QString, FileState>& after);

} // namespace qb::e2e
