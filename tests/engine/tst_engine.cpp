// The copy and move engine on real temporary folders.
#include "EngineTestUtil.h"
#include "engine/Names.h"
#include "engine/Pause.h"

#include <QTemporaryDir>
#include <QtTest>

#include <optional>

#include <sys/socket.h>
#include <sys/un.h>

#include <thread>

using namespace testutil;
using qb::Op;
using qb::Outcome;
using qb::Policy;
using qb::ReplaceAnswer;

class TestEngine : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    std::string root, src, dst; // root/src holds the items, root/dst is the slot's folder
    std::string trash;

    static void setTimes(const std::string& path, time_t sec, long nsec) {
        const struct timespec t[2] = {{sec - 100, 0}, {sec, nsec}};
        ::utimensat(AT_FDCWD, path.c_str(), t, AT_SYMLINK_NOFOLLOW);
    }
    static void checkTimes(const std::string& path, time_t sec, long nsec) {
        const struct stat st = lst(path);
        QCOMPARE(st.st_mtim.tv_sec, sec);
        QCOMPARE(st.st_mtim.tv_nsec, nsec);
    }
    // src/tree: a.txt (0640), sub/b.bin, sub/deep/c, empty/, link -> a.txt, dangling -> nowhere
    void makeTree(const std::string& at) {
        mkdirs(at, 0750);
        writeFile(at + "/a.txt", "alpha", 0640);
        mkdirs(at + "/sub");
        writeFile(at + "/sub/b.bin", pattern(300000, 1));
        mkdirs(at + "/sub/deep", 0555);
        ::chmod((at + "/sub/deep").c_str(), 0755);
        writeFile(at + "/sub/deep/c", "gamma", 0600);
        ::chmod((at + "/sub/deep").c_str(), 0555); // read-only folder: still copied whole
        mkdirs(at + "/empty");
        ::symlink("a.txt", (at + "/link").c_str());
        ::symlink("/nowhere/at/all", (at + "/dangling").c_str());
        setTimes(at + "/a.txt", 1000000000, 123456789);
        setTimes(at + "/link", 1100000000, 5);
        setTimes(at + "/sub/deep", 1200000000, 0);
        setTimes(at, 1300000000, 7);
    }
    void checkTree(const std::string& at) {
        QCOMPARE(list(at), (QStringList{"a.txt", "dangling", "empty", "link", "sub"}));
        QCOMPARE(readFile(at + "/a.txt"), QByteArray("alpha"));
        QCOMPARE(lst(at + "/a.txt").st_mode & 07777, 0640u);
        checkTimes(at + "/a.txt", 1000000000, 123456789);
        QCOMPARE(readFile(at + "/sub/b.bin"), pattern(300000, 1));
        QCOMPARE(readFile(at + "/sub/deep/c"), QByteArray("gamma"));
        QCOMPARE(lst(at + "/sub/deep/c").st_mode & 07777, 0600u);
        QCOMPARE(lst(at + "/sub/deep").st_mode & 07777, 0555u);
        checkTimes(at + "/sub/deep", 1200000000, 0);
        QCOMPARE(lst(at).st_mode & 07777, 0750u);
        checkTimes(at, 1300000000, 7);
        QVERIFY(S_ISDIR(lst(at + "/empty").st_mode));
        QVERIFY(S_ISLNK(lst(at + "/link").st_mode));
        checkTimes(at + "/link", 1100000000, 5);
        char buf[64] = {};
        QCOMPARE(::readlink((at + "/dangling").c_str(), buf, sizeof buf - 1), 15);
        QCOMPARE(QByteArray(buf), QByteArray("/nowhere/at/all"));
    }

private slots:
    void initTestCase() {
        QVERIFY(tmp.isValid());
        trash = useTestTrash(S(tmp.path()));
    }
    void cleanupTestCase() {
        // Read-only folders and paths deeper than the kernel's limit: rm copes with both.
        ::system(
            ("chmod -R u+w '" + S(tmp.path()) + "' 2>/dev/null; rm -rf '" + S(tmp.path()) + "'")
                .c_str());
    }
    void init() {
        QVERIFY(tmp.isValid());
        root = S(tmp.path()) + "/" + QTest::currentTestFunction();
        if (QTest::currentDataTag()) root += std::string("-") + QTest::currentDataTag();
        src = root + "/src";
        dst = root + "/dst";
        mkdirs(root);
        mkdirs(src);
        mkdirs(dst);
    }

    void renamedNames() {
        QCOMPARE(qb::renamedName("report.pdf", false, 2), std::string("report (2).pdf"));
        QCOMPARE(qb::renamedName("report.pdf", false, 10), std::string("report (10).pdf"));
        QCOMPARE(qb::renamedName("data.tar.gz", false, 2), std::string("data (2).tar.gz"));
        QCOMPARE(qb::renamedName(".bashrc", false, 2), std::string(".bashrc (2)"));
        QCOMPARE(qb::renamedName("Makefile", false, 3), std::string("Makefile (3)"));
        QCOMPARE(qb::renamedName("photos.2024", true, 2), std::string("photos.2024 (2)"));
        QCOMPARE(qb::renamedName("notes (3).txt", false, 2), std::string("notes (4).txt"));
        QCOMPARE(qb::renamedName("x (a).txt", false, 2), std::string("x (a) (2).txt"));
        // 255 bytes at most, never cutting a UTF-8 character in two.
        const std::string longName = std::string(3, 'a') + [] {
            std::string s;
            for (int i = 0; i < 84; ++i)
                s += "文";
            return s;
        }() + ".txt";
        QCOMPARE(longName.size(), 259u);
        const std::string r = qb::renamedName(longName, false, 2);
        QVERIFY(r.size() <= 255);
        QVERIFY(QString::fromUtf8(r.c_str()).toUtf8().toStdString() == r);
        QVERIFY(r.ends_with(" (2).txt"));
    }

    // A file and a whole tree with links, modes and times, under each policy,
    // into an empty folder: no clash, so every policy gives the same result.
    void copyWithoutClash_data() {
        QTest::addColumn<int>("policy");
        QTest::newRow("auto-rename") << int(Policy::AutoRename);
        QTest::newRow("ask") << int(Policy::AskReplace);
        QTest::newRow("auto-replace") << int(Policy::AutoReplace);
    }
    void copyWithoutClash() {
        QFETCH(int, policy);
        makeTree(src + "/tree");
        ScriptedObserver obs;
        std::optional<qb::Progress> first;
        obs.onProgress = [&](const qb::Progress& p) {
            if (!first) first = p;
        };
        QCOMPARE(run(Op::Copy, Policy(policy), src + "/tree", dst, obs), Outcome::Done);
        checkTree(dst + "/tree");
        checkTree(src + "/tree");
        QVERIFY(obs.errors.empty());
        // The item is named before its files are counted, and said to be counted.
        QVERIFY(first && first->counting);
        QCOMPARE(first->item, std::string("tree"));
        QCOMPARE(first->filesTotal, 0u);
        QVERIFY(!obs.last.counting);
        obs.onProgress = nullptr;
        QCOMPARE(obs.last.filesTotal, 5u);
        QCOMPARE(obs.last.filesDone, 5u);
        QCOMPARE(obs.last.bytesTotal, 300010u);
        QCOMPARE(obs.last.bytesDone, 300010u);
        QCOMPARE(obs.last.item, std::string("tree"));
        // A link dropped by itself is copied as a link; a trailing "/" changes nothing.
        QCOMPARE(run(Op::Copy, Policy(policy), src + "/tree/link", dst + "/", obs), Outcome::Done);
        QVERIFY(S_ISLNK(lst(dst + "/link").st_mode));
        QCOMPARE(run(Op::Copy, Policy(policy), src + "/tree/sub/", dst, obs), Outcome::Done);
        QCOMPARE(readFile(dst + "/sub/deep/c"), QByteArray("gamma"));
        QCOMPARE(list(dst), (QStringList{"link", "sub", "tree"}));
    }

    void autoRenameNeverReplaces() {
        writeFile(src + "/a.txt", "new");
        writeFile(dst + "/a.txt", "old");
        writeFile(dst + "/a (2).txt", "older");
        makeTree(src + "/tree");
        mkdirs(dst + "/tree");
        writeFile(dst + "/tree/a.txt", "mine");
        ScriptedObserver obs;
        QCOMPARE(run(Op::Copy, Policy::AutoRename, src + "/a.txt", dst, obs), Outcome::Done);
        QCOMPARE(run(Op::Copy, Policy::AutoRename, src + "/tree", dst, obs), Outcome::Done);
        QCOMPARE(list(dst), (QStringList{"a (2).txt", "a (3).txt", "a.txt", "tree", "tree (2)"}));
        QCOMPARE(readFile(dst + "/a (3).txt"), QByteArray("new"));
        QCOMPARE(readFile(dst + "/a.txt"), QByteArray("old"));
        QCOMPARE(list(dst + "/tree"), QStringList{"a.txt"});
        checkTree(dst + "/tree (2)");
        // A file meeting a folder of its name is no clash of kinds here: it gets a new name.
        mkdirs(src + "/o");
        writeFile(src + "/o/tree", "a file named like the folder");
        QCOMPARE(run(Op::Move, Policy::AutoRename, src + "/o/tree", dst, obs), Outcome::Done);
        QCOMPARE(readFile(dst + "/tree (3)"), QByteArray("a file named like the folder"));
        QVERIFY(!exists(src + "/o/tree"));
        QVERIFY(obs.errors.empty() && obs.replaceAsked.empty() && obs.mergeAsked.empty());
    }

    // Copying an item into the folder it already lies in.
    void ontoItself() {
        writeFile(src + "/a.txt", "same");
        makeTree(src + "/tree");
        ScriptedObserver obs;
        // Auto-rename makes the second copy; a move stays where it is.
        QCOMPARE(run(Op::Copy, Policy::AutoRename, src + "/a.txt", src, obs), Outcome::Done);
        QCOMPARE(run(Op::Copy, Policy::AutoRename, src + "/tree", src + "/", obs), Outcome::Done);
        QCOMPARE(run(Op::Move, Policy::AutoRename, src + "/a.txt", src, obs), Outcome::Done);
        QCOMPARE(list(src), (QStringList{"a (2).txt", "a.txt", "tree", "tree (2)"}));
        checkTree(src + "/tree (2)");
        QVERIFY(obs.errors.empty());
        // The replace policies refuse, whatever spelling the path has.
        for (Policy p : {Policy::AskReplace, Policy::AutoReplace}) {
            for (Op op : {Op::Copy, Op::Move}) {
                ScriptedObserver o;
                QCOMPARE(run(op, p, src + "/a.txt", root + "/dst/../src", o), Outcome::Failed);
                QCOMPARE(run(op, p, src + "/tree", src, o), Outcome::Failed);
                QCOMPARE(o.errors.size(), 2u);
                QVERIFY(!o.errors[0].canSkip);
                QCOMPARE(o.errors[0].kind, qb::ErrorKind::ReplaceItself);
                QCOMPARE(o.errors[0].path, src + "/a.txt");
                QVERIFY(o.replaceAsked.empty() && o.mergeAsked.empty());
            }
        }
        QCOMPARE(readFile(src + "/a.txt"), QByteArray("same"));
        checkTree(src + "/tree");
        QCOMPARE(list(src), (QStringList{"a (2).txt", "a.txt", "tree", "tree (2)"}));
    }

    void folderIntoItselfIsRefused() {
        makeTree(src + "/tree");
        ::symlink((src + "/tree/sub").c_str(), (root + "/alias").c_str());
        for (Policy p : {Policy::AutoRename, Policy::AutoReplace}) {
            for (Op op : {Op::Copy, Op::Move}) {
                for (const std::string& into :
                     {src + "/tree", src + "/tree/sub/deep", root + "/alias"}) {
                    ScriptedObserver obs;
                    QCOMPARE(run(op, p, src + "/tree", into, obs), Outcome::Failed);
                    QCOMPARE(obs.errors.size(), 1u);
                    QVERIFY(!obs.errors[0].canSkip);
                    QCOMPARE(obs.errors[0].kind, qb::ErrorKind::IntoItself);
                    QCOMPARE(obs.errors[0].path, src + "/tree");
                    QCOMPARE(obs.errors[0].other, into);
                }
            }
        }
        checkTree(src + "/tree");
        ::chmod((src + "/tree/sub/deep").c_str(), 0755);
        QCOMPARE(list(src + "/tree/sub/deep"), QStringList{"c"});
        QCOMPARE(list(src + "/tree/sub"), (QStringList{"b.bin", "deep"}));
    }

    void askBeforeReplacingAFile_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("answer");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<QStringList>("names"); // in the destination afterwards
        const QStringList one{"a.txt"}, both{"a (2).txt", "a.txt"};
        for (Op op : {Op::Copy, Op::Move}) {
            const char* o = op == Op::Copy ? "copy" : "move";
            QTest::addRow("%s yes", o)
                << int(op) << int(ReplaceAnswer::Yes) << Outcome::Done << true << one;
            QTest::addRow("%s all", o)
                << int(op) << int(ReplaceAnswer::YesToAll) << Outcome::Done << true << one;
            QTest::addRow("%s no", o)
                << int(op) << int(ReplaceAnswer::No) << Outcome::Skipped << false << one;
            QTest::addRow("%s cancel", o)
                << int(op) << int(ReplaceAnswer::Cancel) << Outcome::Cancelled << false << one;
            QTest::addRow("%s keep both", o)
                << int(op) << int(ReplaceAnswer::KeepBoth) << Outcome::Done << false << both;
            QTest::addRow("%s keep both, all", o)
                << int(op) << int(ReplaceAnswer::KeepBothToAll) << Outcome::Done << false << both;
        }
    }
    void askBeforeReplacingAFile() {
        QFETCH(int, op);
        QFETCH(int, answer);
        QFETCH(Outcome, outcome);
        QFETCH(bool, replaced);
        QFETCH(QStringList, names);
        writeFile(src + "/a.txt", "incoming!", 0600);
        setTimes(src + "/a.txt", 1500000000, 0);
        writeFile(dst + "/a.txt", "old");
        setTimes(dst + "/a.txt", 1400000000, 0);
        ScriptedObserver obs;
        obs.answers = {ReplaceAnswer(answer)};
        QCOMPARE(run(Op(op), Policy::AskReplace, src + "/a.txt", dst, obs), outcome);
        QCOMPARE(obs.replaceAsked.size(), 1u);
        const auto& [existing, incoming] = obs.replaceAsked[0];
        QCOMPARE(existing.path, dst + "/a.txt");
        QCOMPARE(existing.size, 3u);
        QCOMPARE(existing.mtime, 1400000000);
        QCOMPARE(incoming.path, src + "/a.txt");
        QCOMPARE(incoming.size, 9u);
        QCOMPARE(incoming.mtime, 1500000000);
        QVERIFY(!existing.isDir && !incoming.isDir);
        QCOMPARE(readFile(dst + "/a.txt"), QByteArray(replaced ? "incoming!" : "old"));
        if (replaced) QCOMPARE(lst(dst + "/a.txt").st_mode & 07777, 0600u);
        const bool beside = names.size() == 2;
        if (beside) QCOMPARE(readFile(dst + "/a (2).txt"), QByteArray("incoming!"));
        QCOMPARE(exists(src + "/a.txt"), !((replaced || beside) && Op(op) == Op::Move));
        QCOMPARE(list(dst), names); // no temporary file left behind
    }

    // "Keep both": the incoming entry takes the name auto-rename would give it, at the
    // top and inside a merge, and the record hears only of that name.
    void keepBothPlacesBeside_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<bool>("folder");        // a folder meets a folder
        QTest::addColumn<QList<int>>("answers"); // merge (folder), then files
        QTest::addColumn<QStringList>("names");  // in dst/f (a file: in dst)
        QTest::addColumn<QStringList>("told");   // destinations the record heard of
        using A = ReplaceAnswer;
        for (Op op : {Op::Copy, Op::Move}) {
            const char* o = op == Op::Copy ? "copy" : "move";
            QTest::addRow("%s file", o) << int(op) << false << QList<int>{int(A::KeepBoth)}
                                        << QStringList{"f", "f (2)"} << QStringList{"f (2)"};
            QTest::addRow("%s folder", o) << int(op) << true << QList<int>{int(A::KeepBoth)}
                                          << QStringList{"one", "two"} << QStringList{"f (2)"};
            QTest::addRow("%s inside a merge", o)
                << int(op) << true << QList<int>{int(A::Yes), int(A::KeepBoth), int(A::No)}
                << QStringList{"fresh", "one", "one (2)", "two"}
                << QStringList{"f", "f/fresh", "f/one (2)", "f/two"};
            QTest::addRow("%s inside a merge, all", o)
                << int(op) << true << QList<int>{int(A::Yes), int(A::KeepBothToAll)}
                << QStringList{"fresh", "one", "one (2)", "two", "two (2)"}
                << QStringList{"f", "f/fresh", "f/one (2)", "f/two (2)"};
        }
    }
    void keepBothPlacesBeside() {
        QFETCH(int, op);
        QFETCH(bool, folder);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, names);
        QFETCH(QStringList, told);
        struct Told : ScriptedObserver {
            QStringList dests;
            std::string base;
            void itemTarget(const std::string& d, bool) override { add(d); }
            void entryStarting(const std::string&, const std::string& d) override { add(d); }
            void add(const std::string& d) {
                dests << QString::fromStdString(d.substr(base.size()));
            }
        } obs;
        obs.base = dst + "/";
        for (int a : answers)
            obs.answers.push_back(ReplaceAnswer(a));
        if (folder) {
            mkdirs(src + "/f");
            mkdirs(dst + "/f");
            for (const char* n : {"one", "two"}) {
                writeFile(src + "/f/" + n, "new");
                writeFile(dst + "/f/" + n, "old");
            }
            if (answers.size() > 1) writeFile(src + "/f/fresh", "fresh");
        } else {
            writeFile(src + "/f", "new");
            writeFile(dst + "/f", "old");
        }
        QCOMPARE(run(Op(op), Policy::AskReplace, src + "/f", dst, obs), Outcome::Done);
        QVERIFY(obs.answers.empty());
        QCOMPARE(list(folder ? dst + "/f" : dst), names);
        QCOMPARE(obs.dests, told);
        // Every old file as it was, every new one beside it.
        const auto check = [&](const std::string& at, const QStringList& in) {
            for (const QString& n : in)
                QCOMPARE(readFile(at + n.toStdString()), QByteArray(n.contains("(2)") ? "new"
                                                                    : n == "fresh"    ? "fresh"
                                                                                      : "old"));
        };
        check(folder ? dst + "/f/" : dst + "/", names);
        if (folder && answers.size() == 1)
            QCOMPARE(list(dst + "/f (2)"), (QStringList{"one", "two"}));
        if (folder && answers.size() == 1)
            QCOMPARE(readFile(dst + "/f (2)/two"), QByteArray("new"));
        if (Op(op) == Op::Move && answers.size() == 1) QVERIFY(!exists(src + "/f"));
        ::system(("rm -rf '" + src + "/f' '" + dst + "/f' '" + dst + "/f (2)'").c_str());
    }

    // A folder meeting a folder: asked once whether to merge, then file by file.
    void askBeforeMergingFolders() {
        for (Op op : {Op::Copy, Op::Move}) {
            const std::string s = src + "/f", d = dst + "/f";
            mkdirs(s);
            mkdirs(s + "/inner");
            writeFile(s + "/one", "new1");
            writeFile(s + "/two", "new2");
            writeFile(s + "/three", "new3");
            writeFile(s + "/inner/four", "new4");
            writeFile(s + "/fresh", "fresh");
            mkdirs(d);
            mkdirs(d + "/inner");
            writeFile(d + "/one", "old1");
            writeFile(d + "/two", "old2");
            writeFile(d + "/three", "old3");
            writeFile(d + "/inner/four", "old4");
            writeFile(d + "/kept", "kept");
            ScriptedObserver obs;
            // merge? yes; files in name order: inner/four yes, one no, three yes, two no.
            obs.answers = {ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::No,
                           ReplaceAnswer::Yes, ReplaceAnswer::No};
            QCOMPARE(run(op, Policy::AskReplace, s, dst, obs), Outcome::Done);
            QCOMPARE(obs.mergeAsked.size(), 1u); // not again for "inner"
            QCOMPARE(obs.mergeAsked[0].first.path, d);
            QVERIFY(obs.mergeAsked[0].first.isDir && obs.mergeAsked[0].second.isDir);
            QCOMPARE(obs.replaceAsked.size(), 4u);
            QCOMPARE(obs.replaceAsked[0].first.path, d + "/inner/four");
            QCOMPARE(readFile(d + "/inner/four"), QByteArray("new4"));
            QCOMPARE(readFile(d + "/one"), QByteArray("old1"));
            QCOMPARE(readFile(d + "/three"), QByteArray("new3"));
            QCOMPARE(readFile(d + "/two"), QByteArray("old2"));
            QCOMPARE(readFile(d + "/fresh"), QByteArray("fresh"));
            QCOMPARE(readFile(d + "/kept"), QByteArray("kept"));
            // A move leaves behind exactly what was declined.
            if (op == Op::Move)
                QCOMPARE(list(s), (QStringList{"one", "two"}));
            else
                QCOMPARE(list(s), (QStringList{"fresh", "inner", "one", "three", "two"}));

            // "Yes to all" at the merge question replaces everything without asking more.
            writeFile(s + "/one", "again");
            ScriptedObserver all;
            all.answers = {ReplaceAnswer::YesToAll};
            QCOMPARE(run(op, Policy::AskReplace, s, dst, all), Outcome::Done);
            QCOMPARE(readFile(d + "/one"), QByteArray("again"));
            QCOMPARE(exists(s), op == Op::Copy);

            // Declining the merge leaves both folders alone.
            mkdirs(s);
            writeFile(s + "/one", "declined");
            ScriptedObserver no;
            no.answers = {ReplaceAnswer::No};
            QCOMPARE(run(op, Policy::AskReplace, s, dst, no), Outcome::Skipped);
            QCOMPARE(readFile(d + "/one"), QByteArray("again"));
            QCOMPARE(readFile(s + "/one"), QByteArray("declined"));
            ::system(("rm -rf '" + s + "' '" + d + "'").c_str());
        }
    }

    void yesToAllCoversTheRestOfTheItem() {
        mkdirs(src + "/f");
        mkdirs(dst + "/f");
        for (const char* n : {"a", "b", "c"}) {
            writeFile(src + "/f/" + n, "new");
            writeFile(dst + "/f/" + n, "old");
        }
        ScriptedObserver obs;
        obs.answers = {ReplaceAnswer::Yes, ReplaceAnswer::No, ReplaceAnswer::YesToAll};
        QCOMPARE(run(Op::Copy, Policy::AskReplace, src + "/f", dst, obs), Outcome::Done);
        QCOMPARE(obs.replaceAsked.size(), 2u);
        QCOMPARE(readFile(dst + "/f/a"), QByteArray("old"));
        QCOMPARE(readFile(dst + "/f/b"), QByteArray("new"));
        QCOMPARE(readFile(dst + "/f/c"), QByteArray("new"));
        // Cancel inside a merge stops there: what came before stays done.
        for (const char* n : {"a", "b", "c"})
            writeFile(dst + "/f/" + n, "old");
        ScriptedObserver cancel;
        cancel.answers = {ReplaceAnswer::Yes, ReplaceAnswer::Yes, ReplaceAnswer::Cancel};
        QCOMPARE(run(Op::Move, Policy::AskReplace, src + "/f", dst, cancel), Outcome::Cancelled);
        QCOMPARE(readFile(dst + "/f/a"), QByteArray("new"));
        QCOMPARE(readFile(dst + "/f/b"), QByteArray("old"));
        QCOMPARE(list(src + "/f"), (QStringList{"b", "c"}));
    }

    void autoReplaceReplacesAndMerges() {
        for (Op op : {Op::Copy, Op::Move}) {
            makeTree(src + "/tree");
            mkdirs(dst + "/tree");
            mkdirs(dst + "/tree/sub");
            writeFile(dst + "/tree/a.txt", "old", 0666);
            writeFile(dst + "/tree/sub/b.bin", "old");
            writeFile(dst + "/tree/sub/mine", "mine");
            ::symlink("elsewhere", (dst + "/tree/link").c_str());
            writeFile(dst + "/tree/dangling", "a file replaced by a link");
            ScriptedObserver obs;
            QCOMPARE(run(op, Policy::AutoReplace, src + "/tree", dst, obs), Outcome::Done);
            QVERIFY(obs.errors.empty() && obs.replaceAsked.empty() && obs.mergeAsked.empty());
            QCOMPARE(readFile(dst + "/tree/a.txt"), QByteArray("alpha"));
            QCOMPARE(lst(dst + "/tree/a.txt").st_mode & 07777, 0640u);
            QCOMPARE(readFile(dst + "/tree/sub/b.bin"), pattern(300000, 1));
            QCOMPARE(readFile(dst + "/tree/sub/mine"), QByteArray("mine"));
            QCOMPARE(readFile(dst + "/tree/link"), QByteArray("alpha"));
            QVERIFY(S_ISLNK(lst(dst + "/tree/dangling").st_mode));
            QCOMPARE(list(dst + "/tree"),
                     (QStringList{"a.txt", "dangling", "empty", "link", "sub"}));
            QCOMPARE(exists(src + "/tree"), op == Op::Copy);
            ::system(("chmod -R u+w '" + root + "'; rm -rf '" + src + "/tree' '" + dst + "/tree'")
                         .c_str());
        }
    }

    // A file never replaces a folder, nor the reverse.
    void fileMeetsFolder() {
        for (Policy p : {Policy::AskReplace, Policy::AutoReplace}) {
            writeFile(src + "/x", "file");
            mkdirs(dst + "/x");
            mkdirs(src + "/y");
            writeFile(dst + "/y", "file");
            ScriptedObserver obs;
            QCOMPARE(run(Op::Move, p, src + "/x", dst, obs), Outcome::Failed);
            QCOMPARE(run(Op::Copy, p, src + "/y", dst, obs), Outcome::Failed);
            QCOMPARE(obs.errors.size(), 2u);
            QVERIFY(!obs.errors[0].canSkip);
            QCOMPARE(obs.errors[0].kind, qb::ErrorKind::FileOverFolder);
            QCOMPARE(obs.errors[0].other, dst + "/x");
            QCOMPARE(obs.errors[1].kind, qb::ErrorKind::FolderOverFile);
            QCOMPARE(obs.errors[1].path, src + "/y");
            QVERIFY(obs.replaceAsked.empty() && obs.mergeAsked.empty());
            QVERIFY(S_ISDIR(lst(dst + "/x").st_mode));
            QCOMPARE(readFile(dst + "/y"), QByteArray("file"));
            QCOMPARE(readFile(src + "/x"), QByteArray("file"));

            // Inside a merge it is an error for that entry only, which may be skipped.
            mkdirs(src + "/m");
            mkdirs(dst + "/m");
            writeFile(src + "/m/clash", "file");
            mkdirs(dst + "/m/clash");
            writeFile(src + "/m/z", "z");
            ScriptedObserver in;
            in.answers = {ReplaceAnswer::Yes};
            QCOMPARE(run(Op::Copy, p, src + "/m", dst, in), Outcome::Failed);
            QCOMPARE(in.errors.size(), 1u);
            QVERIFY(in.errors[0].canSkip);
            QCOMPARE(readFile(dst + "/m/z"), QByteArray("z"));
            QVERIFY(S_ISDIR(lst(dst + "/m/clash").st_mode));
            ::system(("rm -rf '" + src + "'/* '" + dst + "'/*").c_str());
        }
    }

    void moveWithinOneFileSystemRenames() {
        makeTree(src + "/tree");
        const ino_t ino = lst(src + "/tree").st_ino;
        ScriptedObserver obs;
        QCOMPARE(run(Op::Move, Policy::AskReplace, src + "/tree", dst, obs), Outcome::Done);
        QVERIFY(!exists(src + "/tree"));
        QCOMPARE(lst(dst + "/tree").st_ino, ino); // the same folder, renamed: no copy
        QCOMPARE(obs.last.bytesTotal, 0u);        // and no walk to count its bytes
        checkTree(dst + "/tree");
    }

    void moveAcrossFileSystems() {
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-engine-XXXXXX"));
        if (!shm.isValid()) QSKIP("no /dev/shm");
        const std::string s = S(shm.path());
        if (lst(s).st_dev == lst(dst).st_dev) QSKIP("/dev/shm is on the test folder's disk");
        makeTree(s + "/tree");
        writeFile(s + "/single", pattern(5000, 3), 0604);
        setTimes(s + "/single", 1234567890, 42);
        ScriptedObserver obs;
        QCOMPARE(run(Op::Move, Policy::AutoRename, s + "/tree", dst, obs), Outcome::Done);
        QCOMPARE(obs.last.bytesDone, 300010u);
        QCOMPARE(obs.last.filesDone, obs.last.filesTotal);
        QCOMPARE(run(Op::Move, Policy::AutoRename, s + "/single", dst, obs), Outcome::Done);
        QVERIFY(obs.errors.empty());
        QCOMPARE(list(s), QStringList{});
        checkTree(dst + "/tree");
        QCOMPARE(readFile(dst + "/single"), pattern(5000, 3));
        QCOMPARE(lst(dst + "/single").st_mode & 07777, 0604u);
        checkTimes(dst + "/single", 1234567890, 42);
        // Back again, replacing and merging across file systems.
        makeTree(s + "/tree");
        writeFile(s + "/tree/a.txt", "changed", 0640);
        ::chmod((dst + "/tree/sub/deep").c_str(), 0755);
        QCOMPARE(run(Op::Move, Policy::AutoReplace, s + "/tree", dst, obs), Outcome::Done);
        QCOMPARE(readFile(dst + "/tree/a.txt"), QByteArray("changed"));
        QVERIFY(!exists(s + "/tree"));
    }

    // Holes stay holes, on one file system and across two (where the bytes are read
    // and written); a hole at the end keeps the size.
    void sparseFilesKeepTheirHoles() {
        QTemporaryDir shm(QStringLiteral("/dev/shm/qb-engine-XXXXXX"));
        const std::string other = shm.isValid() ? S(shm.path()) : root;
        const auto sparse = [](const std::string& path, bool tail) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::ftruncate(fd, 64 << 20);
            ::pwrite(fd, "middle", 6, 32 << 20);
            if (tail) ::pwrite(fd, "end", 3, (64 << 20) - 3);
            ::close(fd);
        };
        sparse(src + "/disk.img", true);
        sparse(other + "/tail.img", false);
        const QByteArray disk = readFile(src + "/disk.img"), tail = readFile(other + "/tail.img");
        QCOMPARE(disk.size(), 64 << 20);
        ScriptedObserver obs;
        QCOMPARE(run(Op::Copy, Policy::AutoRename, src + "/disk.img", dst, obs), Outcome::Done);
        QCOMPARE(run(Op::Move, Policy::AutoRename, other + "/tail.img", dst, obs), Outcome::Done);
        QVERIFY(readFile(dst + "/disk.img") == disk);
        QVERIFY(readFile(dst + "/tail.img") == tail);
        QCOMPARE(lst(dst + "/tail.img").st_size, 64 << 20);
        QVERIFY(lst(dst + "/disk.img").st_blocks * 512 < (1 << 20));
        QVERIFY(lst(dst + "/tail.img").st_blocks * 512 < (1 << 20));
        QCOMPARE(obs.last.bytesDone, std::uint64_t(64) << 20);
    }

    // An entry that cannot be copied is reported; the rest goes on when skipped.
    void errorsNameTheFileAndCanBeSkipped() {
        mkdirs(src + "/f");
        writeFile(src + "/f/a", "a");
        writeFile(src + "/f/z", "z");
        const std::string sock = src + "/f/m.sock";
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (sock.size() >= sizeof addr.sun_path) QSKIP("temporary path too long for a socket");
        std::strcpy(addr.sun_path, sock.c_str());
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);

        ScriptedObserver skip;
        QCOMPARE(run(Op::Copy, Policy::AutoReplace, src + "/f", dst, skip), Outcome::Failed);
        QCOMPARE(skip.errors.size(), 1u);
        QCOMPARE(skip.errors[0].path, sock);
        QCOMPARE(skip.errors[0].kind, qb::ErrorKind::Unsupported);
        QCOMPARE(list(dst + "/f"), (QStringList{"a", "z"}));

        ScriptedObserver stop;
        stop.errorAnswer = qb::ErrorAnswer::Cancel;
        QCOMPARE(run(Op::Move, Policy::AutoRename, src + "/f", root, stop), Outcome::Done);
        // (a move within one file system renames the folder whole: nothing to fail)
        QCOMPARE(list(root + "/f"), (QStringList{"a", "m.sock", "z"}));
        // Cancelling at an error cancels: the outcome says so, not merely "failed".
        QCOMPARE(
            runFull(Op::Copy, Policy::AutoRename, root + "/f", dst, stop, oneAtATime()).outcome,
            Outcome::Cancelled);
        QCOMPARE(list(dst + "/f (2)"), QStringList{"a"}); // stopped at the socket

        // A vanished source and a destination that is no folder.
        ScriptedObserver gone;
        QCOMPARE(run(Op::Copy, Policy::AutoReplace, src + "/nothing", dst, gone), Outcome::Failed);
        QCOMPARE(run(Op::Copy, Policy::AutoReplace, root + "/f/a", root + "/f/z", gone),
                 Outcome::Failed);
        QCOMPARE(gone.errors.size(), 2u);
        QCOMPARE(gone.errors[0].kind, qb::ErrorKind::SourceMissing);
        QCOMPARE(gone.errors[0].path, src + "/nothing");
        QCOMPARE(gone.errors[1].kind, qb::ErrorKind::DestNotFolder);
        QCOMPARE(gone.errors[0].code, ENOENT);
        QCOMPARE(gone.errors[1].code, ENOTDIR);
    }

    // Alone, the walk stops right after the file in hand; with workers, after the few
    // they hold. Either way no file is partial and no temporary file is left.
    void cancelStopsBetweenFilesLeavingThemWhole() {
        mkdirs(src + "/many");
        for (int i = 0; i < 40; ++i)
            writeFile(src + "/many/f" + std::to_string(100 + i),
                      pattern(1000 + i, static_cast<quint32>(i)));
        for (const unsigned workers : {1u, 3u}) {
            ScriptedObserver obs;
            std::atomic<bool> cancel{false};
            obs.onProgress = [&](const qb::Progress& p) {
                if (p.filesDone == 10) cancel = true;
            };
            qb::OperationOptions options;
            options.workers = workers;
            const std::string into = dst + "/w" + std::to_string(workers);
            mkdirs(into);
            QCOMPARE(qb::runOperation(Op::Copy, Policy::AutoReplace, src + "/many", into, obs,
                                      cancel, options)
                         .outcome,
                     Outcome::Cancelled);
            const QStringList got = list(into + "/many");
            if (workers == 1)
                QCOMPARE(got.size(), 10);
            else
                QVERIFY2(got.size() >= 10 && got.size() < 40, qPrintable(got.join(' ')));
            for (const QString& name : got) {
                const int i = name.mid(1).toInt() - 100;
                QVERIFY2(i >= 0 && i < 40, qPrintable(name)); // no temporary file
                QCOMPARE(readFile(into + "/many/" + S(name)),
                         pattern(1000 + i, static_cast<quint32>(i)));
            }
        }
    }

    // A pause taken mid-copy holds the walk and the workers with every file whole;
    // resumed, the job ends as if never held; cancelled while held, it ends at once.
    void pauseHoldsTheJobBetweenFiles() {
        mkdirs(src + "/held");
        for (int i = 0; i < 40; ++i)
            writeFile(src + "/held/f" + std::to_string(100 + i), pattern(3000 + i, quint32(i)));
        for (const bool cancelWhileHeld : {false, true}) {
            for (const unsigned workers : {1u, 3u}) {
                qb::PauseGate gate;
                ScriptedObserver obs;
                std::atomic<bool> cancel{false};
                std::atomic<bool> held{false};
                obs.onProgress = [&](const qb::Progress& p) {
                    if (p.filesDone == 10 && !held.exchange(true)) gate.pause();
                };
                qb::OperationOptions options;
                options.workers = workers;
                options.pause = &gate;
                const std::string into =
                    dst + "/p" + std::to_string(workers) + (cancelWhileHeld ? "c" : "r");
                mkdirs(into);
                qb::OperationResult r;
                std::thread worker([&] {
                    r = qb::runOperation(Op::Copy, Policy::AutoReplace, src + "/held", into, obs,
                                         cancel, options);
                });
                QTRY_VERIFY(held.load());
                QTest::qWait(300);
                const QStringList atPause = list(into + "/held");
                QTest::qWait(300);
                // Nothing moves while held (a worker may finish the copy it had begun).
                QCOMPARE(list(into + "/held"), atPause);
                QVERIFY2(atPause.size() < 40, qPrintable(atPause.join(' ')));
                QElapsedTimer clock;
                clock.start();
                if (cancelWhileHeld) {
                    cancel = true;
                    gate.wake();
                } else {
                    gate.resume();
                }
                worker.join();
                QVERIFY(clock.elapsed() < 2000);
                QCOMPARE(r.outcome, cancelWhileHeld ? Outcome::Cancelled : Outcome::Done);
                const QStringList got = list(into + "/held");
                QCOMPARE(got.size() == 40, !cancelWhileHeld);
                for (const QString& name : got)
                    QCOMPARE(readFile(into + "/held/" + S(name)),
                             pattern(3000 + name.mid(1).toInt() - 100,
                                     quint32(name.mid(1).toInt() - 100)));
            }
        }
    }

    // Paths longer than the kernel takes in one call: the walk goes folder by folder.
    void veryLongPaths() {
        const std::string seg(200, 'd');
        int fd = ::open(src.c_str(), O_RDONLY | O_DIRECTORY);
        ::mkdirat(fd, "deep", 0755);
        int cur = ::openat(fd, "deep", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        for (int i = 0; i < 30; ++i) { // about 6000 bytes of path
            QCOMPARE(::mkdirat(cur, seg.c_str(), 0755), 0);
            const int next = ::openat(cur, seg.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(cur);
            cur = next;
        }
        const int f = ::openat(cur, "leaf.txt", O_WRONLY | O_CREAT, 0644);
        QCOMPARE(::write(f, "leaf", 4), 4);
        ::close(f);
        ::close(cur);
        // A destination whose own path is longer than 254 characters.
        const std::string longDest =
            dst + "/" + std::string(150, 'x') + "/" + std::string(150, 'y');
        ::system(("mkdir -p '" + longDest + "'").c_str());
        ScriptedObserver obs;
        QCOMPARE(run(Op::Copy, Policy::AutoRename, src + "/deep", longDest, obs), Outcome::Done);
        QVERIFY(obs.errors.empty());
        cur = ::open((longDest + "/deep").c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < 30 && cur >= 0; ++i) {
            const int next = ::openat(cur, seg.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(cur);
            cur = next;
        }
        QVERIFY(cur >= 0);
        char buf[8] = {};
        const int leaf = ::openat(cur, "leaf.txt", O_RDONLY);
        QCOMPARE(::read(leaf, buf, sizeof buf), 4);
        QCOMPARE(QByteArray(buf), QByteArray("leaf"));
        ::close(leaf);
        ::close(cur);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
