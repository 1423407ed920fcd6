// The search as the find field runs it, and what a folder dragged out carries.
#include "find/FindMatch.h"
#include "find/FolderDrag.h"

#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <memory>

using qb::MatchRank;

class FindMatchTest : public QObject {
    Q_OBJECT

    // Out of group and row order on purpose: ties come out in that order anyway.
    QList<qb::FindEntry> entries_ = {
        qb::makeFindEntry(3, 1, "3", "archive", "/mnt/reports/archive"),
        qb::makeFindEntry(1, 3, "Work", "myReports2024", "/data/myReports2024"),
        qb::makeFindEntry(1, 1, "Work", "Reports", "/home/u/Reports"),
        qb::makeFindEntry(1, 2, "Work", "Annual Reports", "/home/u/Annual Reports"),
        qb::makeFindEntry(2, 1, "2", "Café Crème", "/srv/Café Crème"),
        qb::makeFindEntry(2, 5, "2", "ＡＢＣ資料", "/srv/ＡＢＣ資料"),
        qb::makeFindEntry(7, 4, "旅行", "Photos", "/home/u/Photos"),
        qb::makeFindEntry(7, 5, "旅行", "项目报告", "/home/u/项目报告"),
    };

    // "g.r:rank" for each hit, best first.
    QStringList found(const QString& query) const {
        QStringList out;
        for (const qb::FindHit& h : qb::findSlots(entries_, query))
            out << QStringLiteral("%1.%2:%3")
                       .arg(h.entry->group)
                       .arg(h.entry->row)
                       .arg(int(h.rank));
        return out;
    }

private slots:
    void folds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("folded");
        QTest::newRow("case") << "RePort"
                              << "report";
        QTest::newRow("full width") << "Ｒｅｐｏｒｔ　２０２４"
                                    << "report 2024";
        QTest::newRow("accents") << "Crème Brûlée"
                                 << "creme brulee";
        QTest::newRow("accent apart") << QString::fromUtf8("e\xcc\x81t\xc3\xa9") << "ete";
        QTest::newRow("ligature") << "ﬁle"
                                  << "file";
        QTest::newRow("han unchanged") << "项目报告"
                                       << "项目报告";
    }
    void folds() {
        QFETCH(QString, text);
        QFETCH(QString, folded);
        QCOMPARE(qb::foldForFind(text), folded);
    }

    void ranks_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("hits");
        const auto r = [](MatchRank m) { return QString::number(int(m)); };
        const QString prefix = r(MatchRank::NamePrefix), word = r(MatchRank::NameWord),
                      inside = r(MatchRank::NameInside), path = r(MatchRank::PathInside),
                      group = r(MatchRank::GroupName), all = r(MatchRank::AllWords),
                      initials = r(MatchRank::Initials);
        QTest::newRow("prefix, words, path")
            << "rep" << QStringList{"1.1:" + prefix, "1.2:" + word, "1.3:" + word, "3.1:" + path};
        QTest::newRow("inside the name")
            << "PORT"
            << QStringList{"1.1:" + inside, "1.2:" + inside, "1.3:" + inside, "3.1:" + path};
        QTest::newRow("digits begin a word") << "2024" << QStringList{"1.3:" + word};
        QTest::newRow("accents and case") << "CAFE CR" << QStringList{"2.1:" + prefix};
        QTest::newRow("full width typed half") << "abc資" << QStringList{"2.5:" + prefix};
        QTest::newRow("han word") << "报告" << QStringList{"7.5:" + inside};
        // Only names with Han characters have initials: "ar" is no initial of "Annual Reports".
        QTest::newRow("pinyin initials") << "XMbg" << QStringList{"7.5:" + initials};
        QTest::newRow("initials inside, Latin kept") << "zl" << QStringList{"2.5:" + initials};
        QTest::newRow("no initials without Han") << "ar" << QStringList{"3.1:" + prefix};
        QTest::newRow("group name") << "旅行" << QStringList{"7.4:" + group, "7.5:" + group};
        QTest::newRow("words anywhere") << " photos  旅行 " << QStringList{"7.4:" + all};
        QTest::newRow("blank") << "   " << QStringList{};
        QTest::newRow("nothing") << "zzz" << QStringList{};
    }
    void ranks() {
        QFETCH(QString, query);
        QFETCH(QStringList, hits);
        QCOMPARE(found(query), hits);
    }

    void folderDragData() {
        const QString folder = QStringLiteral("/tmp/a b/漢#1");
        std::unique_ptr<QMimeData> data(qb::folderMimeData(folder));
        QVERIFY(data);
        QVERIFY(data->hasFormat(QStringLiteral("text/uri-list")));
        QCOMPARE(data->urls(), QList<QUrl>{QUrl::fromLocalFile(folder)});
        QCOMPARE(data->data(QStringLiteral("text/uri-list")).trimmed(),
                 QByteArray("file:///tmp/a%20b/%E6%BC%A2%231"));
        QCOMPARE(data->text(), folder);
        QVERIFY(!qb::folderMimeData(QStringLiteral("relative/path")));
        QVERIFY(!qb::folderMimeData(QString()));
    }
};

QTEST_GUILESS_MAIN(FindMatchTest)
#include "tst_find_match.moc"
