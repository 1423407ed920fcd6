#include "platform/Dialogs.h"
#include "platform/Handler.h"
#include "store/Settings.h"
#include "tests/support/FakeDialogs.h"

#include <QCheckBox>
#include <QtTest>

namespace {} // namespace

class TestHandler : public QObject {
    Q_OBJECT
    qb::FakeDialogs rec;

private slots:
    void init() {
        rec.errors.clear();
        qb::setDialogs(&rec);
    }
    void cleanup() { qb::setDialogs(nullptr); }

    void errorBoxAppliesFullStopRule() {
        QCOMPARE(qb::errorBoxText(QStringLiteral("Unable to write to /a/sys.ini")),
                 QStringLiteral("Unable to write to /a/sys.ini."));
        QCOMPARE(qb::errorBoxText(QStringLiteral("done!")), QStringLiteral("done!"));
        QCOMPARE(qb::errorBoxText(QStringLiteral("trailing ")), QStringLiteral("trailing "));
        QCOMPARE(qb::errorBoxText(QStringLiteral("程序已运行")), QStringLiteral("程序已运行."));
        QCOMPARE(qb::errorBoxText(QString()), QString());
    }

    void userHandlerErrorIsShownAndSwallowed() {
        qb::runHandler(nullptr,
                       [] { throw qb::SettingsError(QStringLiteral("Unable to write to /x")); });
        qb::runHandler(nullptr, [] { throw 42; });
        QCOMPARE(rec.errors, QStringList({QStringLiteral("Unable to write to /x."), QString()}));
    }

    // A handler set off by program code passes its error back to that code, which
    // stops there; the error is shown once, by the outermost user handler.
    void errorOfSetOffHandlerEndsTheProgramCode() {
        QCheckBox box;
        QObject::connect(&box, &QCheckBox::toggled, [&](bool on) {
            if (on) qb::runHandler(&box, [] { throw std::runtime_error("boom"); });
        });
        int stepsAfter = 0;
        qb::runHandler(nullptr, [&] {
            qb::propagateFrom([&] { box.setChecked(true); });
            ++stepsAfter;
        });
        QCOMPARE(stepsAfter, 0);
        QCOMPARE(rec.errors, QStringList({QStringLiteral("boom.")}));
        QVERIFY(box.isChecked());
    }

    // A change handler that shows its own errors lets the program code go on.
    void shownErrorDoesNotEndTheProgramCode() {
        QCheckBox box;
        QObject::connect(&box, &QCheckBox::toggled, [&](bool) {
            qb::runHandlerShowingErrors(&box, [] { throw std::runtime_error("row"); });
        });
        int steps = 0;
        qb::runHandler(nullptr, [&] {
            qb::propagateFrom([&] { box.setChecked(true); });
            ++steps;
            qb::propagateFrom([&] { box.setChecked(false); });
            ++steps;
        });
        QCOMPARE(steps, 2);
        QCOMPARE(rec.errors, QStringList({QStringLiteral("row."), QStringLiteral("row.")}));
    }

    // A user handler run from a modal loop opened inside program code is a user
    // event again: its error is shown, not handed to the code that opened the box.
    void modalScopeMakesNestedHandlersUserEvents() {
        int stepsAfter = 0;
        qb::runHandler(nullptr, [&] {
            qb::propagateFrom([&] {
                qb::ModalScope modal;
                qb::runHandler(nullptr, [] { throw std::runtime_error("inside"); });
            });
            ++stepsAfter;
        });
        QCOMPARE(stepsAfter, 1);
        QCOMPARE(rec.errors, QStringList({QStringLiteral("inside.")}));
    }
};

QTEST_MAIN(TestHandler)
#include "tst_handler.moc"
