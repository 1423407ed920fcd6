// Dropped URIs become the file system's bytes, exactly: names in any code page,
// Chinese names, and only what names a local file.
#include "drop/DroppedPaths.h"

#include <QMimeData>
#include <QSysInfo>
#include <QTest>

class TestDroppedPaths : public QObject {
    Q_OBJECT

private slots:
    void uriListBecomesPathBytes_data() {
        QTest::addColumn<QByteArray>("uriList");
        QTest::addColumn<QList<QByteArray>>("paths");
        using L = QList<QByteArray>;
        QTest::newRow("plain") << QByteArray("file:///home/u/a.txt\r\n") << L{"/home/u/a.txt"};
        QTest::newRow("order kept, LF and CRLF")
            << QByteArray("file:///b\nfile:///a\r\nfile:///c") << L{"/b", "/a", "/c"};
        QTest::newRow("UTF-8 name") << QByteArray("file:///x/%E6%96%B9%E6%A1%88.txt\r\n")
                                    << L{"/x/\xE6\x96\xB9\xE6\xA1\x88.txt"};
        QTest::newRow("code page 936 name, not UTF-8")
            << QByteArray("file:///x/%B7%BD%B0%B8%80.txt\r\n") << L{"/x/\xB7\xBD\xB0\xB8\x80.txt"};
        QTest::newRow("space, percent, hash and slash escapes")
            << QByteArray("file:///x/a%20b%25c%23d\r\n") << L{"/x/a b%c#d"};
        QTest::newRow("localhost and this host")
            << QByteArray("file://localhost/a\r\nfile://" + QSysInfo::machineHostName().toUtf8() +
                          "/b\r\n")
            << L{"/a", "/b"};
        QTest::newRow("comments, blank lines, other schemes and hosts left out")
            << QByteArray("# a comment\r\n\r\nhttps://example.org/f\r\nsmb://h/s/f\r\n"
                          "file://otherhost/f\r\nFILE:///kept\r\n")
            << L{"/kept"};
        QTest::newRow("unsafe or not absolute")
            << QByteArray("file:///a%00b\r\nfile:relative\r\nfile://\r\nfile:\r\n") << L{};
    }

    void uriListBecomesPathBytes() {
        QFETCH(QByteArray, uriList);
        QFETCH(QList<QByteArray>, paths);
        QCOMPARE(qb::localPathsFromUriList(uriList), paths);
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), uriList);
        QCOMPARE(qb::dragLocalPaths(&data), paths);
    }

    void dragWithoutUriListGivesNothing() {
        QMimeData text;
        text.setText(QStringLiteral("/etc/passwd"));
        QVERIFY(qb::dragLocalPaths(&text).isEmpty());
        QVERIFY(qb::dragLocalPaths(nullptr).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDroppedPaths)
#include "tst_dropped_paths.moc"
