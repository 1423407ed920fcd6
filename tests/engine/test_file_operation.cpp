// The Qt front end of the engine, on the offscreen platform.
#include "EngineTestUtil.h"
#include "drop/FileOperation.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <chrono>
#include <thread>

using namespace testutil;
using qb::Op;
using qb::Outcome;
using qb::Policy;
using qb::ReplaceAnswer;

namespace {

class FakePrompts : public qb::OperationPrompts {
public:
    ReplaceAnswer replaceAnswer = ReplaceAnswer::No;
    ReplaceAnswer mergeAnswer = ReplaceAnswer::No;
    qb::ErrorAnswer errorAnswer = qb::ErrorAnswer::Skip;
    QStringList asked; // "replace <existing>", "merge <existing>", "error <message>"
    bool offUiThread = false;
    QWidget* lastParent = nullptr;

    ReplaceAnswer askReplace(QWidget* parent, const qb::ItemInfo& existing,
                             const qb::ItemInfo&) override {
        note(parent, "replace " + existing.path);
        return replaceAnswer;
    }
    ReplaceAnswer askMerge(QWidget* parent, const qb::ItemInfo& existing,
                           const qb::ItemInfo&) override {
        note(parent, "merge " + existing.path);
        return mergeAnswer;
    }
    qb::ErrorAnswer askError(QWidget* parent, const qb::OpError& e) override {
        note(parent, "error " + e.message);
        return errorAnswer;
    }

private:
    void note(QWidget* parent, const std::string& what) {
        offUiThread = offUiThread || QThread::currentThread() != qApp->thread();
        lastParent = parent;
        asked << QString::fromStdString(what);
    }
};

QWidget* visibleProgressDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == u"progressDialog" && w->isVisible()) return w;
    return nullptr;
}

// Answers the next modal message box by clicking the button with `text`.
void clickWhenShown(const QString& text, QString* shownText = nullptr,
                    QStringList* buttons = nullptr) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        poll->stop();
        poll->deleteLater();
        if (shownText) *shownText = box->text() + u'\n' + box->informativeText();
        QAbstractButton* target = nullptr;
        for (QAbstractButton* b : box->buttons()) {
            if (buttons) *buttons << b->text();
            if (b->text() == text) target = b;
        }
        if (target)
            target->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    });
    poll->start(10);
}

// A job that works for `steps` tenths of a second, reporting progress.
qb::OperationJob slowJob(int steps, std::atomic<int>* stepsDone = nullptr) {
    return [=](qb::OperationObserver& obs, const std::atomic<bool>& cancel) {
        qb::Progress p;
        p.item = "数据.bin";
        p.bytesTotal = std::uint64_t(steps) << 20;
        p.filesTotal = std::uint64_t(steps);
        for (int i = 0; i < steps; ++i) {
            if (cancel) return Outcome::Cancelled;
            p.current = "/src/数据.bin/part" + std::to_string(i);
            p.bytesDone = std::uint64_t(i) << 20;
            p.filesDone = std::uint64_t(i);
            obs.progress(p);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (stepsDone) *stepsDone = i + 1;
        }
        return Outcome::Done;
    };
}

} // namespace

class TestFileOperation : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    FakePrompts fake;

private slots:
    void init() {
        fake = FakePrompts();
        qb::setOperationPrompts(&fake);
    }
    void cleanup() { qb::setOperationPrompts(nullptr); }

    // The outcome tells done, failed and cancelled apart; questions reach the prompts
    // on the UI thread.
    void outcomesOfRealOperations() {
        const QString src = tmp.path() + "/src", dst = tmp.path() + "/dst";
        QDir().mkpath(src);
        QDir().mkpath(dst);
        writeFile(S(src + "/a.txt"), "new");
        writeFile(S(dst + "/a.txt"), "old");
        QWidget owner;

        fake.replaceAnswer = ReplaceAnswer::No;
        QCOMPARE(qb::runFileOperation(&owner, Op::Copy, Policy::AskReplace, src + "/a.txt", dst),
                 Outcome::Done);
        QCOMPARE(readFile(S(dst + "/a.txt")), QByteArray("old"));
        QCOMPARE(fake.asked, QStringList{"replace " + dst + "/a.txt"});
        QCOMPARE(fake.lastParent, &owner);

        fake.replaceAnswer = ReplaceAnswer::Cancel;
        QCOMPARE(qb::runFileOperation(&owner, Op::Move, Policy::AskReplace, src + "/a.txt", dst),
                 Outcome::Cancelled);
        QCOMPARE(readFile(S(src + "/a.txt")), QByteArray("new"));

        QCOMPARE(qb::runFileOperation(&owner, Op::Move, Policy::AutoRename, src + "/a.txt", dst),
                 Outcome::Done);
        QCOMPARE(readFile(S(dst + "/a (2).txt")), QByteArray("new"));
        QVERIFY(!QFile::exists(src + "/a.txt"));

        // Refused: a copy onto itself under a replace policy, and a missing folder.
        fake.asked.clear();
        QCOMPARE(qb::runFileOperation(&owner, Op::Copy, Policy::AutoReplace, dst + "/a.txt", dst),
                 Outcome::Failed);
        QCOMPARE(qb::runFileOperation(&owner, Op::Copy, Policy::AutoReplace, dst + "/a.txt",
                                      tmp.path() + "/无此文件夹"),
                 Outcome::Failed);
        QCOMPARE(fake.asked.size(), 2);
        QVERIFY(fake.asked[0].startsWith("error ") && fake.asked[0].contains(dst + "/a.txt"));
        QVERIFY(fake.asked[1].contains(tmp.path() + "/无此文件夹"));
        QVERIFY(!fake.offUiThread);
    }

    void questionsFromTheWorkerAreAnsweredOnTheUiThread() {
        fake.replaceAnswer = ReplaceAnswer::YesToAll;
        fake.mergeAnswer = ReplaceAnswer::Yes;
        fake.errorAnswer = qb::ErrorAnswer::Cancel;
        bool onWorker = false;
        std::vector<int> answers;
        const Outcome o =
            qb::runOperationJob(nullptr, Op::Copy, [&](qb::OperationObserver& obs, auto&) {
                onWorker = QThread::currentThread() != qApp->thread();
                qb::ItemInfo a{"/x/a", false, 1, 0}, b{"/y/a", false, 2, 0};
                answers.push_back(int(obs.askReplace(a, b)));
                answers.push_back(int(obs.askMerge(a, b)));
                answers.push_back(int(obs.error({"/x/a", "broken", EIO, true})));
                return Outcome::Failed;
            });
        QCOMPARE(o, Outcome::Failed);
        QVERIFY(onWorker);
        QVERIFY(!fake.offUiThread);
        QCOMPARE(answers, (std::vector<int>{int(ReplaceAnswer::YesToAll), int(ReplaceAnswer::Yes),
                                            int(qb::ErrorAnswer::Cancel)}));
        QCOMPARE(fake.asked, (QStringList{"replace /x/a", "merge /x/a", "error broken"}));
        // A job that throws is a failure, not a crash.
        QCOMPARE(qb::runOperationJob(nullptr, Op::Move,
                                     [](qb::OperationObserver&, auto&) -> Outcome {
                                         throw std::runtime_error("boom");
                                     }),
                 Outcome::Failed);
    }

    // A long operation: timers keep running, the window repaints, the progress
    // dialog comes after about half a second and its Cancel button stops the job.
    void progressDialogAndCancel() {
        QWidget owner;
        owner.resize(244, 694);
        owner.move(-244, 50); // docked beyond the left edge of the screen
        owner.show();
        int paints = 0, ticks = 0;
        struct PaintCounter : QObject {
            int* n;
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::Paint) ++*n;
                return false;
            }
        } counter;
        counter.n = &paints;
        owner.installEventFilter(&counter);
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            owner.update();
        });
        timer.start(20);

        bool earlyDialog = true;
        QString item, counts, speed, left;
        QRect dialogRect;
        QTimer::singleShot(300, this, [&] { earlyDialog = visibleProgressDialog() != nullptr; });
        QTimer::singleShot(1300, this, [&] {
            QWidget* d = visibleProgressDialog();
            if (!d) return;
            item = d->findChild<QLabel*>("itemLabel")->text();
            counts = d->findChild<QLabel*>("countLabel")->text();
            speed = d->findChild<QLabel*>("speedLabel")->text();
            left = d->findChild<QLabel*>("timeLeftLabel")->text();
            dialogRect = d->frameGeometry();
            QTest::mouseClick(d->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
        });
        std::atomic<int> steps{0};
        QElapsedTimer clock;
        clock.start();
        const Outcome o = qb::runOperationJob(&owner, Op::Copy, slowJob(40, &steps));
        const qint64 took = clock.elapsed();
        timer.stop();

        QCOMPARE(o, Outcome::Cancelled);
        QVERIFY2(steps < 40, "Cancel did not stop the job");
        QVERIFY(took >= 1300);
        QVERIFY(!earlyDialog);
        QCOMPARE(item, QStringLiteral("正在复制“数据.bin”"));
        QVERIFY2(counts.contains(QStringLiteral("/ 40.0 MB，")) &&
                     counts.contains(QStringLiteral(" / 40 个文件")),
                 qPrintable(counts));
        QVERIFY2(speed.contains(QStringLiteral("MB/秒")), qPrintable(speed));
        QVERIFY2(left.contains(QStringLiteral("秒")), qPrintable(left));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(screen.contains(dialogRect), "the progress dialog is off the screen");
        QVERIFY(!visibleProgressDialog()); // gone with the operation
        QVERIFY2(ticks >= took / 20 / 2, qPrintable(QString::number(ticks)));
        QVERIFY2(paints >= 10, qPrintable(QString::number(paints)));
    }

    void quickOperationShowsNoDialog() {
        bool seen = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] { seen = seen || visibleProgressDialog(); });
        poll.start(20);
        QCOMPARE(qb::runOperationJob(nullptr, Op::Move, slowJob(3)), Outcome::Done);
        QVERIFY(!seen);
    }

    // Clicks meant for the main window wait: no second drop starts meanwhile.
    void inputToOtherWindowsIsHeldOff() {
        QWidget owner;
        auto* button = new QPushButton("slot", &owner);
        owner.show();
        int clicks = 0;
        connect(button, &QPushButton::clicked, this, [&] { ++clicks; });
        QTimer::singleShot(100, this, [&] { QTest::mouseClick(button, Qt::LeftButton); });
        QTimer::singleShot(800, this, [&] { QTest::mouseClick(button, Qt::LeftButton); });
        QCOMPARE(qb::runOperationJob(&owner, Op::Copy, slowJob(10)), Outcome::Done);
        QCOMPARE(clicks, 0);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
    }

    // The real dialogs: what they show and how their buttons answer.
    void qtDialogs() {
        qb::OperationPrompts& qt = qb::qtOperationPrompts();
        const qb::ItemInfo existing{"/dst/报告.pdf", false, 2048, 1700000000};
        const qb::ItemInfo incoming{"/src/报告.pdf", false, 3 << 20, 1710000000};
        QString text;
        QStringList buttons;
        clickWhenShown("全部是", &text, &buttons);
        QCOMPARE(qt.askReplace(nullptr, existing, incoming), ReplaceAnswer::YesToAll);
        QStringList want{"是", "全部是", "否", "取消"};
        want.sort();
        buttons.sort();
        QCOMPARE(buttons, want);
        QVERIFY2(text.contains("“报告.pdf”") && text.contains("/src/报告.pdf") &&
                     text.contains("/dst/报告.pdf") && text.contains("3.0 MB") &&
                     text.contains("2.0 kB") &&
                     text.contains(
                         QDateTime::fromSecsSinceEpoch(1700000000).toString("yyyy-MM-dd HH:mm:ss")),
                 qPrintable(text));
        clickWhenShown("否");
        QCOMPARE(qt.askReplace(nullptr, existing, incoming), ReplaceAnswer::No);
        clickWhenShown("是", &text);
        QCOMPARE(qt.askMerge(nullptr, {"/dst/照片", true, 0, 0}, {"/src/照片", true, 0, 0}),
                 ReplaceAnswer::Yes);
        QVERIFY2(text.contains("名为“照片”的文件夹") && text.contains("/src/照片"),
                 qPrintable(text));
        clickWhenShown("<escape>");
        QCOMPARE(qt.askMerge(nullptr, existing, incoming), ReplaceAnswer::Cancel);

        buttons.clear();
        clickWhenShown("跳过", &text, &buttons);
        QCOMPARE(
            qt.askError(nullptr, {"/src/a", "无法复制“/src/a”：Input/output error", EIO, true}),
            qb::ErrorAnswer::Skip);
        buttons.sort();
        want = QStringList{"跳过", "取消"};
        want.sort();
        QCOMPARE(buttons, want);
        QVERIFY(text.contains("无法复制“/src/a”：Input/output error"));
        clickWhenShown("<escape>");
        QCOMPARE(qt.askError(nullptr, {"/src/a", "x", EIO, true}), qb::ErrorAnswer::Cancel);
        buttons.clear();
        clickWhenShown("确定", &text, &buttons);
        qt.askError(nullptr, {"/src/a", "不能用“/src/a”替换它自身", 0, false});
        QCOMPARE(buttons, QStringList{"确定"});
    }
};

QTEST_MAIN(TestFileOperation)
#include "test_file_operation.moc"
