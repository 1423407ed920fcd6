// The folder name rule: the last component of a slot path.
#include "board/FolderName.h"

#include <QTest>

class TestFolderName : public QObject {
    Q_OBJECT

private slots:
    void rule_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        auto row = [](const char* tag, const QString& path, const QString& name) {
            QTest::newRow(tag) << path << name;
        };
        row("root", QStringLiteral("/"), QStringLiteral("/"));
        row("empty", QString(), QString());
        row("folder", QStringLiteral("/Work"), QStringLiteral("Work"));
        row("trailing slash", QStringLiteral("/home/me/Work/"), QStringLiteral("Work"));
        row("file", QStringLiteral("/home/me/Work/a.txt"), QStringLiteral("a.txt"));
        row("double slash start", QStringLiteral("//server/share/docs"), QStringLiteral("docs"));
        row("two trailing slashes", QStringLiteral("/home/Work//"), QString());
        row("no separator", QStringLiteral("abcd"), QStringLiteral("abcd"));
        row("colon is a name character", QStringLiteral("/mnt/a:b"), QStringLiteral("a:b"));
        row("colon at the end", QStringLiteral("abc:"), QStringLiteral("abc:"));
        row("blanks kept", QStringLiteral("/tmp/ a b "), QStringLiteral(" a b "));
        // Fewer than 4 bytes in GB18030 stay whole, separators and all.
        row("three bytes", QStringLiteral("a/b"), QStringLiteral("a/b"));
        row("three bytes, slash last", QStringLiteral("/a/"), QStringLiteral("/a/"));
        row("chinese, 3 bytes", QStringLiteral("/中"), QStringLiteral("/中"));
        row("chinese, 3 bytes, slash last", QStringLiteral("中/"), QStringLiteral("中/"));
        row("chinese, 4 bytes", QStringLiteral("中/a"), QStringLiteral("a"));
        row("chinese, 5 bytes", QStringLiteral("/中文/"), QStringLiteral("中文"));
        row("four-byte character", QStringLiteral("/\U0001F600"), QStringLiteral("\U0001F600"));
        row("chinese path", QStringLiteral("/home/李/文档"), QStringLiteral("文档"));
    }
    void rule() {
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(qb::folderName(path), name);
    }
};

QTEST_GUILESS_MAIN(TestFolderName)
#include "tst_folder_name.moc"
