// The Debian package as a user gets it: every file the desktop needs is in it,
// the desktop's own validators accept them, and the program unpacked into a
// temporary root runs from there, keeping its settings in the user's folder and
// writing nothing beside itself (though, run by root, it could).
#include "tests/support/E2e.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTest>

using namespace qb::e2e;

namespace {

const QString kId = QStringLiteral(QB_APP_ID);
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString iconFile(int size) {
    return QStringLiteral("./usr/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(kId);
}

// Every file the package must hold, as dpkg-deb lists them.
QStringList expectedFiles() {
    QStringList files{
        QStringLiteral("./usr/bin/quillbeck"),
        QStringLiteral("./usr/bin/quillbeck-ini"),
        QStringLiteral("./usr/share/applications/%1.desktop").arg(kId),
        QStringLiteral("./usr/share/metainfo/%1.metainfo.xml").arg(kId),
        QStringLiteral("./usr/share/icons/hicolor/scalable/apps/%1.svg").arg(kId),
        QStringLiteral("./usr/share/man/man1/quillbeck.1.gz"),
        QStringLiteral("./usr/share/man/man1/quillbeck-ini.1.gz"),
        QStringLiteral("./usr/share/doc/quillbeck/copyright"),
        QStringLiteral("./usr/share/doc/quillbeck/changelog.Debian.gz"),
    };
    for (int size : kIconSizes)
        files << iconFile(size);
    return files;
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

    QString deb;
    QTemporaryDir root; // the package unpacked
    Desktop desk;

    QString installed(const QString& path) const { return root.path() + path.mid(1); }

private slots:
    void initTestCase() {
        const QDir dir(QStringLiteral(QB_PACKAGE_DIR));
        const QStringList debs =
            dir.entryList({QStringLiteral("quillbeck_" QB_VERSION "-*_*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        deb = dir.filePath(debs.first());
        const RunResult x =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root.path()});
        QVERIFY2(x.ok(), qPrintable(x.describe()));
    }

    void holdsEveryFileAndNamesItsDependencies() {
        const RunResult list = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
        QVERIFY2(list.ok(), qPrintable(list.describe()));
        QStringList listed;
        for (const QString& line : QString::fromUtf8(list.out).split(u'\n', Qt::SkipEmptyParts))
            listed << line.section(u' ', -1); // the path ends each line
        for (const QString& file : expectedFiles())
            QVERIFY2(listed.contains(file),
                     qPrintable(file + QStringLiteral(" missing in\n") + listed.join(u'\n')));

        const RunResult depends =
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), deb, QStringLiteral("Depends")});
        QVERIFY2(depends.ok(), qPrintable(depends.describe()));
        // A CJK font and the folder opener by name, the libraries as the binaries need them.
        for (const char* package : {"fonts-wqy-microhei | fonts-noto-cjk", "xdg-utils",
                                    "libqt6widgets6", "libqt6dbus6", "libxcb1", "libc6"})
            QVERIFY2(depends.out.contains(package), depends.out.constData());
        const RunResult recommends = run(QStringLiteral("dpkg-deb"),
                                         {QStringLiteral("-f"), deb, QStringLiteral("Recommends")});
        QCOMPARE(recommends.out.trimmed(), QByteArray("qt6-translations-l10n"));
    }

    // Debian's own checker: no error and no warning.
    void lintianAcceptsIt() {
        const RunResult lintian =
            run(QStringLiteral("lintian"),
                {QStringLiteral("--fail-on"), QStringLiteral("error,warning"), deb},
                QProcessEnvironment::systemEnvironment(), 120000);
        QVERIFY2(lintian.ok(), qPrintable(lintian.describe()));
        const QStringList copyright = lines(installed(expectedFiles()[7]));
        QVERIFY(copyright.value(0).startsWith(QStringLiteral("Format: ")));
        QVERIFY(copyright.contains(QStringLiteral("License: GPL-3.0-or-later")));
    }

    void desktopFilesPassTheValidators() {
        const QString entry = installed(expectedFiles()[2]);
        const RunResult desktop = run(QStringLiteral("desktop-file-validate"), {entry});
        QVERIFY2(desktop.ok() && desktop.out.trimmed().isEmpty(), qPrintable(desktop.describe()));
        const RunResult appstream = run(
            QStringLiteral("appstreamcli"),
            {QStringLiteral("validate"), QStringLiteral("--no-net"), installed(expectedFiles()[3])},
            QProcessEnvironment::systemEnvironment(), 60000);
        QVERIFY2(appstream.ok(), qPrintable(appstream.describe()));
        QVERIFY(
            lines(installed(expectedFiles()[3]))
                .contains(QStringLiteral("  <project_license>GPL-3.0-or-later</project_license>")));

        // The entry starts the program by its installed name and shows the icon.
        const QStringList keys = lines(entry);
        QVERIFY(keys.contains(QStringLiteral("Exec=quillbeck")));
        QVERIFY(keys.contains(QStringLiteral("Icon=") + kId));
        // Each PNG is drawn at the size its folder promises.
        for (int size : kIconSizes) {
            QImageReader png(installed(iconFile(size)));
            QCOMPARE(png.size(), QSize(size, size));
        }
        for (const QString& page : {expectedFiles()[5], expectedFiles()[6]}) {
            const RunResult gz =
                run(QStringLiteral("gzip"), {QStringLiteral("-t"), installed(page)});
            QVERIFY2(gz.ok(), qPrintable(gz.describe()));
        }
    }

    void unpackedCopyKeepsItsSettingsInTheUsersFolder() {
        QString err;
        QVERIFY2(desk.start(&err), qPrintable(err));
        Sandbox box(installed(QStringLiteral("./usr/bin/quillbeck")), Sandbox::Binary::InPlace);
        QVERIFY2(box.isValid(), qPrintable(box.error()));
        // The menu reads the root's entries, as it does those of an installed package.
        box.setVariable(QStringLiteral("XDG_DATA_DIRS"),
                        installed(QStringLiteral("./usr/share")) + QStringLiteral(":/usr/share"));
        const auto before = snapshot(root.path());
        Program app(desk, box);
        const auto win = app.startToMainWindow(&err);
        QVERIFY2(win, qPrintable(err));

        const QString sys = box.configHome() + QStringLiteral("/quillbeck/sys.ini");
        QVERIFY2(waitUntil(
                     [&] {
                         return readSetting(sys, QStringLiteral("方案"),
                                            QStringLiteral("operate")) ==
                                QStringLiteral("FileCopy");
                     },
                     10000),
                 app.output().constData());
        QVERIFY(QFileInfo(box.configHome() + QStringLiteral("/quillbeck/user")).isDir());

        // The help window's shortcut button: a desktop entry that starts this
        // installed copy, and no second menu entry beside the packaged one.
        QVERIFY(desk.click(win->point(QStringLiteral("Button3"))));
        const auto help = app.waitForWindow(QStringLiteral("Help"), 10000, &err);
        QVERIFY2(help, qPrintable(err));
        QVERIFY(desk.click(desk.windowInfo(*help)->geometry.topLeft() + QPoint(16 + 32, 176 + 12)));
        const auto said = app.waitForWindow(QStringLiteral(" QuillbeckV9.6"), 10000, &err);
        QVERIFY2(said, qPrintable(err));
        const QStringList entry = lines(box.home() + QStringLiteral("/Desktop/Quillbeck.desktop"));
        QVERIFY(entry.contains(QStringLiteral("Exec=") + box.programPath()));
        QVERIFY(entry.contains(QStringLiteral("TryExec=") + box.programPath()));
        QVERIFY(entry.contains(QStringLiteral("Icon=") + kId));
        QVERIFY(
            !QFileInfo::exists(box.dataHome() + QStringLiteral("/applications/quillbeck.desktop")));
        QVERIFY(desk.key(*said, QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !desk.windowsOf(app.pid()).contains(*said); }, 10000));

        QVERIFY(desk.click(win->point(QStringLiteral("Button4"))));
        QVERIFY(app.waitForExit(10000));
        QCOMPARE(diff(before, snapshot(root.path())), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
