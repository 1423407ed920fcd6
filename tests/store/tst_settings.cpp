// The settings store against files on disk: format rules, files written by others,
// refused writes and values that must come back exactly as written.
#include "store/Settings.h"
#include "tests/support/Files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qb;
using namespace qb::test;

namespace {

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString writeError(const std::function<void()>& action) {
    try {
        action();
    } catch (const SettingsError& error) {
        return error.message();
    }
    return QStringLiteral("<no error>");
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString ini_;

    QString path(const QString& name) const { return dir_.filePath(name); }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        ini_ = path(QStringLiteral("sys.ini"));
    }

    void defaultsAndEmptyValues() {
        QCOMPARE(ReadSetting(path("none"), "a", "b", "dflt"), QString("dflt"));
        put(ini_, "[a]\r\nempty=\r\nbare\r\nblank=   \r\nx=1\r\n[b]\r\n");
        QCOMPARE(ReadSetting(ini_, "a", "empty", "dflt"), QString(""));
        QCOMPARE(ReadSetting(ini_, "a", "blank", "dflt"), QString(""));
        QCOMPARE(ReadSetting(ini_, "a", "bare", "dflt"), QString("dflt")); // no "="
        QCOMPARE(ReadSetting(ini_, "a", "missing", "dflt"), QString("dflt"));
        QCOMPARE(ReadSetting(ini_, "b", "x", "dflt"),
                 QString("dflt")); // keys stay in their section
        QCOMPARE(ReadSetting(ini_, "c", "x", "dflt"), QString("dflt"));
        // A folder where the file should be reads as missing.
        QDir().mkdir(path("folder.ini"));
        QCOMPARE(ReadSetting(path("folder"), "a", "b", "dflt"), QString("dflt"));
    }

    void extensionRule() {
        WriteSetting(path("sys"), "user", "id", "abc");
        QCOMPARE(ReadSetting(path("sys.ini"), "user", "id", ""), QString("abc"));
        QCOMPARE(ReadSetting(path("sys.txt"), "user", "id", ""), QString("abc"));
        QVERIFY(!QFile::exists(path("sys")));
        // Only the last component's last dot counts: account "a.b" keeps its dot.
        QDir().mkdir(path("user"));
        WriteSetting(path("user/usera.b.ini"), "s", "k", "v");
        QVERIFY(QFile::exists(path("user/usera.b.ini")));
        QCOMPARE(writeError([&] { WriteSetting(path("dir.d/name"), "s", "k", "v"); }),
                 "Unable to write to " + path("dir.d/name.ini"));
        QVERIFY(!QFile::exists(path("dir.ini")));
    }

    void writeOrderAndLayout() {
        WriteSetting(ini_, "我的文件夹", "1", "/home");
        WriteSetting(ini_, "方案", "name3", "Work");
        WriteSetting(ini_, "我的文件夹", "2", "/tmp");
        WriteSetting(ini_, "我的文件夹", "1", "/srv"); // replaced in place
        QCOMPARE(bytesOf(ini_), gb("[我的文件夹]\r\n1=/srv\r\n2=/tmp\r\n[方案]\r\nname3=Work\r\n"));
        QCOMPARE(gb("方案"), QByteArray("\xB7\xBD\xB0\xB8"));
    }

    void gbkFilesFromWindows() {
        put(ini_, gb("[方案]\r\noperate=FileMove\r\n[我的文件夹]\r\n1=D:\\资料\\报告\r\n"));
        QCOMPARE(ReadSetting(ini_, "方案", "operate", ""), QString("FileMove"));
        QCOMPARE(ReadSetting(ini_, "我的文件夹", "1", ""), QString("D:\\资料\\报告"));
        // A Chinese character whose second byte is "]" (0x5D) or "[" must not cut or
        // open a section name.
        QString tricky;
        for (char16_t c = 0x4E00; c < 0x9FA5 && tricky.size() < 2; ++c) {
            const QByteArray b = gb(QString(QChar(c)));
            if (b.size() == 2 && (b[1] == ']' || b[1] == '[')) tricky += QChar(c);
        }
        QCOMPARE(tricky.size(), 2);
        WriteSetting(ini_, tricky, tricky, tricky + "]");
        QCOMPARE(ReadSetting(ini_, tricky, tricky, ""), tricky + "]");
        QStringList list;
        ListSettingSections(ini_, list);
        QCOMPARE(list, (QStringList{"方案", "我的文件夹", tricky}));
    }

    void namesIgnoreAsciiCaseAndBlanks() {
        put(ini_, "  [ Scheme ]  \r\n  Operate  = FileCopy \r\n");
        QCOMPARE(ReadSetting(ini_, "SCHEME", "operate", ""), QString("FileCopy"));
        QCOMPARE(ReadSetting(ini_, " scheme\t", "\tOPERATE ", ""), QString("FileCopy"));
        WriteSetting(ini_, "scheme", "OPERATE", "FileMove");
        QCOMPARE(bytesOf(ini_), QByteArray("  [ Scheme ]  \r\n  Operate=FileMove\r\n"));
        // Only ASCII letters fold; values keep their case.
        WriteSetting(ini_, "Ä", "k", "Value");
        WriteSetting(ini_, "ä", "k", "other");
        QCOMPARE(ReadSetting(ini_, "Ä", "k", ""), QString("Value"));
        QStringList list;
        ListSettingSections(ini_, list);
        QCOMPARE(list, (QStringList{"Scheme", "Ä", "ä"}));
    }

    void duplicatesFirstWins() {
        put(ini_, "[a]\nk=1\nk=2\n[b]\nk=b\n[A]\nk=3\nz=9\n");
        QCOMPARE(ReadSetting(ini_, "a", "k", ""), QString("1"));
        QCOMPARE(ReadSetting(ini_, "a", "z", "none"), QString("none"));
        WriteSetting(ini_, "a", "K", "x");
        QCOMPARE(bytesOf(ini_), QByteArray("[a]\nk=x\nk=2\n[b]\nk=b\n[A]\nk=3\nz=9\n"));
        QStringList list;
        ListSettingSections(ini_, list);
        QCOMPARE(list, (QStringList{"a", "b"}));
        // Erasing takes the shadowed duplicate too, so no stale value surfaces.
        EraseSettingSection(ini_, "a");
        QCOMPARE(ReadSetting(ini_, "a", "k", "gone"), QString("gone"));
        QCOMPARE(bytesOf(ini_), QByteArray("[b]\nk=b\n"));
    }

    void untouchedLinesKeptByteForByte() {
        const QByteArray head = "; written by hand\r\nstray=before sections\r\n\r\n";
        const QByteArray rest = "[one]\r\n  spaced = keep me  \r\n; note\r\n\xFF\xFE junk\r\n"
                                "bad\x81=\x81\x30\r\n\r\n; about two\r\n[two]\r\nx=1";
        put(ini_, head + rest);
        WriteSetting(ini_, "two", "x", "2");
        QCOMPARE(bytesOf(ini_), head + QByteArray(rest).replace("x=1", "x=2"));
        WriteSetting(ini_, "one", "new", "v"); // after the section's last key
        QByteArray expected = head + rest;
        expected.replace("x=1", "x=2");
        expected.replace("\x81\x30\r\n", "\x81\x30\r\nnew=v\r\n");
        QCOMPARE(bytesOf(ini_), expected);
        WriteSetting(ini_, "three", "k", "v"); // the last line gets its ending first
        expected += "\r\n[three]\r\nk=v\r\n";
        QCOMPARE(bytesOf(ini_), expected);
        // Lines before the first section belong to no section.
        QCOMPARE(ReadSetting(ini_, "", "stray", "dflt"), QString("dflt"));
        EraseSettingSection(ini_, "one");
        expected = head + "\r\n; about two\r\n[two]\r\nx=2\r\n[three]\r\nk=v\r\n";
        QCOMPARE(bytesOf(ini_), expected);
    }

    void lineEndingsFollowTheFile() {
        put(ini_, "[a]\nk=1\n");
        WriteSetting(ini_, "a", "j", "2");
        WriteSetting(ini_, "b", "k", "3");
        QCOMPARE(bytesOf(ini_), QByteArray("[a]\nk=1\nj=2\n[b]\nk=3\n"));
        put(ini_, "[a]\rk=1\r");
        WriteSetting(ini_, "a", "j", "2");
        QCOMPARE(bytesOf(ini_), QByteArray("[a]\rk=1\rj=2\r"));
        QCOMPARE(ReadSetting(ini_, "a", "k", ""), QString("1"));
    }

    void utf8FileWithByteOrderMark() {
        put(ini_, "\xEF\xBB\xBF[方案]\nname1=工作\n");
        QCOMPARE(ReadSetting(ini_, "方案", "name1", ""), QString("工作"));
        WriteSetting(ini_, "方案", "name2", "家庭");
        QCOMPARE(bytesOf(ini_), QByteArray("\xEF\xBB\xBF[方案]\nname1=工作\nname2=家庭\n"));
        QStringList list;
        ListSettingSections(ini_, list);
        QCOMPARE(list, QStringList{"方案"});
    }

    void awkwardValuesRoundTrip() {
        const QString longPath = "/" + QString("深").repeated(10) + QString("a").repeated(4000);
        const QStringList values = {
            "",          " ",    "  lead", "trail\t",    "\"q\"",          "'q'", "\"",
            "'",         "\"a'", "\"\"",   "a=b=c",      ";not a comment", "[x]", "C:\\",
            "资料 报告", "😀 €",  longPath, " \"both\" ", "x\x7f"};
        for (qsizetype i = 0; i < values.size(); ++i)
            WriteSetting(ini_, "s", QString::number(i), values[i]);
        for (qsizetype i = 0; i < values.size(); ++i)
            QCOMPARE(ReadSetting(ini_, "s", QString::number(i), "dflt"), values[i]);
        // Quotes are only added where reading would otherwise change the value.
        QVERIFY(bytesOf(ini_).contains("\r\n16=/"));
        QVERIFY(bytesOf(ini_).contains("\r\n6=\"\r\n"));
    }

    void unstorableRefusedWithoutWriting() {
        WriteSetting(ini_, "s", "k", "v");
        const QByteArray before = bytesOf(ini_);
        const QList<std::array<QString, 3>> refused = {{"s", "k", "two\nlines"},
                                                       {"s", "k", "cr\r"},
                                                       {"s", "k", QString(QChar(0))},
                                                       {"s", "a=b", "v"},
                                                       {"s", ";k", "v"},
                                                       {"s", " [k]", "v"},
                                                       {"s\n", "k", "v"},
                                                       {"s", "k", QString(QChar(0xD800))}};
        for (const auto& names : refused) {
            const QString message =
                writeError([&] { WriteSetting(ini_, names[0], names[1], names[2]); });
            QVERIFY2(message.contains(ini_) && !message.startsWith("Unable"), qPrintable(message));
            QCOMPARE(bytesOf(ini_), before);
        }
        QVERIFY(
            writeError([&] { WriteSetting(path("new"), "s", "k", "a\nb"); }).contains("new.ini"));
        QVERIFY(!QFile::exists(path("new.ini")));
        // Names that merely look odd are fine.
        WriteSetting(ini_, "a]b", "k]", "v");
        WriteSetting(ini_, "[x", "k[", "w");
        QCOMPARE(ReadSetting(ini_, "a]b", "k]", ""), QString("v"));
        QCOMPARE(ReadSetting(ini_, "[x", "k[", ""), QString("w"));
    }

    void refusedWritesLeaveFilesUntouched() {
        const QString expected = "Unable to write to " + ini_;
        WriteSetting(ini_, "s", "k", "v");
        const QByteArray before = bytesOf(ini_);

        QVERIFY(::chmod(QFile::encodeName(ini_), 0444) == 0);
        QCOMPARE(writeError([&] { WriteSetting(path("sys"), "s", "k", "new"); }), expected);
        QCOMPARE(writeError([&] { WriteSetting(ini_, "s", "k", "v"); }),
                 expected); // unchanged value too
        QCOMPARE(writeError([&] { EraseSettingSection(ini_, "s"); }), expected);
        QCOMPARE(bytesOf(ini_), before);
        QCOMPARE(ReadSetting(ini_, "s", "k", ""), QString("v"));
        QVERIFY(::chmod(QFile::encodeName(ini_), 0644) == 0);

        // A writable file in a read-only folder cannot be replaced either.
        QVERIFY(::chmod(QFile::encodeName(dir_.path()), 0555) == 0);
        QCOMPARE(writeError([&] { WriteSetting(ini_, "s", "k", "new"); }), expected);
        QCOMPARE(writeError([&] { WriteSetting(path("other"), "s", "k", "v"); }),
                 "Unable to write to " + path("other.ini"));
        QVERIFY(::chmod(QFile::encodeName(dir_.path()), 0755) == 0);
        QCOMPARE(bytesOf(ini_), before);
        QVERIFY(!QFile::exists(path("other.ini")));

        QCOMPARE(writeError([&] { WriteSetting(path("missing/userabc"), "s", "k", "v"); }),
                 "Unable to write to " + path("missing/userabc.ini"));
        // Erasing from a missing file has nothing to do.
        EraseSettingSection(path("missing/userabc"), "s");
        QCOMPARE(
            QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"sys.ini"});
    }

    void fullDiskLeavesOldFile() {
        // A file size limit makes the write fail part way, as a full disk would.
        WriteSetting(ini_, "s", "k", "small");
        const QByteArray before = bytesOf(ini_);
        struct rlimit saved {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit tight = saved;
        tight.rlim_cur = 4096;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &tight) == 0);
        const QString message =
            writeError([&] { WriteSetting(ini_, "s", "big", QString(8000, u'x')); });
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(message, "Unable to write to " + ini_);
        QCOMPARE(bytesOf(ini_), before);
        QCOMPARE(
            QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"sys.ini"});
    }

    void staleTemporaryFilesSweptByTheNextWrite() {
        // What a writer killed just before its rename leaves behind goes with the next
        // write of that file; look-alikes and other files' leftovers stay.
        WriteSetting(ini_, "s", "k", "1");
        const QStringList stale{".sys.ini.0a1b2c3d4e5f6.tmp", ".sys.ini.zz9y8x7w.tmp"};
        const QStringList kept{".sys.ini.notes.tmp", ".user.ini.0a1b2c3d4e5f6.tmp",
                               "sys.ini.0a1b2c3d4e5f6.tmp", ".sys.ini.0A1B2C3D4E5F6.tmp"};
        for (const QString& name : stale + kept) {
            QFile f(path(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[s]\r\nk=old\r\n");
        }
        WriteSetting(ini_, "s", "k", "1"); // no change: no write, nothing swept
        QVERIFY(QFile::exists(path(stale[0])));
        WriteSetting(ini_, "s", "k", "2");
        QCOMPARE(ReadSetting(ini_, "s", "k", "?"), "2");
        QStringList expected = kept;
        expected << "sys.ini";
        expected.sort();
        QStringList actual =
            QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        actual.sort();
        QCOMPARE(actual, expected);
    }

    void concurrentWritersLoseNothing() {
        // Two processes writing different keys of one file at the same time: every
        // key of both must be there in the end.
        constexpr int kWrites = 150;
        pid_t children[2] = {};
        for (int c = 0; c < 2; ++c) {
            children[c] = ::fork();
            QVERIFY(children[c] >= 0);
            if (children[c] == 0) {
                int status = 0;
                try {
                    for (int i = 0; i < kWrites; ++i)
                        WriteSetting(ini_, "s", QStringLiteral("%1-%2").arg(c).arg(i), "v");
                } catch (...) {
                    status = 1;
                }
                ::_exit(status);
            }
        }
        for (pid_t child : children) {
            int status = -1;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        int missing = 0;
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < kWrites; ++i)
                missing += ReadSetting(ini_, "s", QStringLiteral("%1-%2").arg(c).arg(i), "") != "v";
        QCOMPARE(missing, 0);
    }

    void writeGivesUpOnAFolderLockKeptElsewhere() {
        // Another process keeps the folder's lock: a change is refused after a short
        // wait instead of freezing the caller, and goes through once the lock is free.
        WriteSetting(ini_, "s", "k", "1");
        const QByteArray before = bytesOf(ini_);
        int ready[2], release[2];
        QVERIFY(::pipe(ready) == 0 && ::pipe(release) == 0);
        const pid_t holder = ::fork();
        QVERIFY(holder >= 0);
        if (holder == 0) {
            ::close(release[1]); // so that the parent's close ends the read below
            const int fd = ::open(QFile::encodeName(dir_.path()).constData(), O_RDONLY);
            char c = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            if (::write(ready[1], &c, 1) != 1 || ::read(release[0], &c, 1) < 0) ::_exit(1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        char locked = 0;
        QCOMPARE(::read(ready[0], &locked, 1), ssize_t(1));
        QCOMPARE(locked, 'y');
        QElapsedTimer clock;
        clock.start();
        const QString message = writeError([&] { WriteSetting(ini_, "s", "k", "2"); });
        const qint64 waited = clock.elapsed();
        QCOMPARE(message, "Unable to write to " + ini_);
        QVERIFY2(waited < 10000, qPrintable(QString::number(waited)));
        QCOMPARE(bytesOf(ini_), before);
        WriteSetting(ini_, "s", "k", "1"); // as it is: nothing to write, no lock needed

        ::close(release[1]);
        ::close(ready[0]);
        int status = -1;
        QCOMPARE(::waitpid(holder, &status, 0), holder);
        WriteSetting(ini_, "s", "k", "2");
        QCOMPARE(ReadSetting(ini_, "s", "k", ""), QString("2"));
    }

    void replacementKeepsModeAndLinks() {
        WriteSetting(ini_, "s", "k", "1");
        QVERIFY(::chmod(QFile::encodeName(ini_), 0640) == 0);
        WriteSetting(ini_, "s", "k", "2");
        struct stat info {};
        QVERIFY(::stat(QFile::encodeName(ini_), &info) == 0);
        QCOMPARE(int(info.st_mode & 07777), 0640);

        QVERIFY(QFile::link(ini_, path("link.ini")));
        WriteSetting(path("link"), "s", "k", "3");
        QVERIFY(QFileInfo(path("link.ini")).isSymLink());
        QCOMPARE(ReadSetting(ini_, "s", "k", ""), QString("3"));
    }

    // Something other than a regular file where a settings file should be reads as
    // missing and refuses writes, at once: a FIFO must not hang the program.
    void nonRegularFilesReadAsMissing_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("fifo") << "fifo";
        QTest::newRow("link to a fifo") << "link";
    }
    void nonRegularFilesReadAsMissing() {
        QFETCH(QString, kind);
        const QByteArray fifo = QFile::encodeName(path("pipe")), ini = QFile::encodeName(ini_);
        QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
        QVERIFY((kind == "fifo" ? ::rename(fifo.constData(), ini.constData())
                                : ::symlink(fifo.constData(), ini.constData())) == 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::alarm(10); // a hang ends the child, and fails the test
            QStringList list{"stale"};
            ListSettingSections(ini_, list);
            const bool ok =
                ReadSetting(ini_, "s", "k", "dflt") == "dflt" && list.isEmpty() &&
                writeError([&] { WriteSetting(ini_, "s", "k", "v"); }) ==
                    "Unable to write to " + ini_ &&
                writeError([&] { EraseSettingSection(ini_, "s"); }) == "Unable to write to " + ini_;
            ::_exit(ok ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status), "the child hung");
        QCOMPARE(WEXITSTATUS(status), 0);
    }

    // Reads of a file read before see each later change of the same size: by
    // replacement, or in place, also where a coarse clock leaves the time as it was.
    void readsSeeEveryChange_data() {
        QTest::addColumn<bool>("inPlace");
        QTest::addColumn<bool>("settled"); // last changed long before the first read
        QTest::newRow("replaced, settled") << false << true;
        QTest::newRow("replaced, fresh") << false << false;
        QTest::newRow("in place, settled") << true << true;
        QTest::newRow("in place, fresh") << true << false;
    }
    void readsSeeEveryChange() {
        QFETCH(bool, inPlace);
        QFETCH(bool, settled);
        const QByteArray native = QFile::encodeName(ini_);
        put(ini_, "[s]\r\nk=1\r\n");
        timespec times[2] = {};
        ::clock_gettime(CLOCK_REALTIME, &times[1]);
        if (settled) times[1].tv_sec -= 60;
        times[0] = times[1];
        QVERIFY(::utimensat(AT_FDCWD, native.constData(), times, 0) == 0);
        QCOMPARE(ReadSetting(ini_, "s", "k", ""), QString("1"));

        if (inPlace) {
            put(ini_, "[s]\r\nk=2\r\n");
        } else {
            put(path("new.ini"), "[s]\r\nk=2\r\n");
            QVERIFY(::rename(QFile::encodeName(path("new.ini")), native) == 0);
        }
        // Only a change in place to a settled file shows in its time alone.
        if (!(inPlace && settled))
            QVERIFY(::utimensat(AT_FDCWD, native.constData(), times, 0) == 0);
        QCOMPARE(ReadSetting(ini_, "s", "k", ""), QString("2"));
        // A write after reads builds on the file as it is now.
        WriteSetting(ini_, "s", "other", "x");
        QCOMPARE(bytesOf(ini_), QByteArray("[s]\r\nk=2\r\nother=x\r\n"));
        QCOMPARE(ReadSetting(ini_, "s", "other", ""), QString("x"));
    }

    void eraseAndList() {
        WriteSetting(ini_, "abc", "mima", "abc");
        WriteSetting(ini_, "def", "mima", "def");
        WriteSetting(ini_, "ghi", "mima", "ghi");
        EraseSettingSection(ini_, "DEF");
        EraseSettingSection(ini_, "nothing");
        QStringList list{"stale"};
        ListSettingSections(ini_, list);
        QCOMPARE(list, (QStringList{"abc", "ghi"}));
        QCOMPARE(bytesOf(ini_), QByteArray("[abc]\r\nmima=abc\r\n[ghi]\r\nmima=ghi\r\n"));
        ListSettingSections(path("none"), list);
        QVERIFY(list.isEmpty());
        // A section erased and written again goes to the end.
        WriteSetting(ini_, "abc", "mima", "x");
        EraseSettingSection(ini_, "abc");
        WriteSetting(ini_, "abc", "mima", "y");
        ListSettingSections(ini_, list);
        QCOMPARE(list, (QStringList{"ghi", "abc"}));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
