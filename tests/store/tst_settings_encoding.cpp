// Settings files in the encodings other programs write, given as exact bytes: each
// is read in its own encoding, a load's write-back of what it read changes no byte,
// and a real change is written in the file's encoding without touching other lines.
#include "store/Settings.h"
#include "tests/support/Files.h"

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <array>

using namespace qb;
using namespace qb::test;

namespace {

QByteArray wide(QStringConverter::Encoding encoding, const QString& text) {
    return QStringEncoder(encoding).encode(text);
}

QByteArray utf16le(const QString& text) {
    return "\xFF\xFE" + wide(QStringConverter::Utf16LE, text);
}

QByteArray utf16be(const QString& text) {
    return "\xFE\xFF" + wide(QStringConverter::Utf16BE, text);
}

using Entry = std::array<QString, 3>; // section, key, value

struct Case {
    QByteArray file;
    QList<Entry> reads; // what reading gives
    Entry change;       // one value written afterwards
    QByteArray after;   // the file after that write; empty: the write is refused
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestSettingsEncoding : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void readWriteBackAndChange_data() {
        QTest::addColumn<Case>("c");
        const QByteArray scheme = gb("[方案]\r\n");

        // Code page 936's euro sign: the lone byte 0x80. As a trail byte (0x81 0x80)
        // it is part of a Chinese character; GB18030's own euro (A2 E3) reads alike.
        QTest::newRow("euro byte")
            << Case{scheme + "name1=a\x80"
                             "b\r\nname2=\x81\x80\r\nname3=\xA2\xE3\r\n",
                    {{"方案", "name1", "a€b"},
                     {"方案", "name2", QString(QChar(0x4E90))},
                     {"方案", "name3", "€"}},
                    {"方案", "name4", "€5"},
                    scheme + "name1=a\x80"
                             "b\r\nname2=\x81\x80\r\nname3=\xA2\xE3\r\nname4=\x80"
                             "5\r\n"};

        const QByteArray u8 = QString("[方案]\noperate=FileMove\nproject=2\n[我的文件夹]\n"
                                      "21=/home/用户/文档\n22= \"C:\\\" \n")
                                  .toUtf8();
        QTest::newRow("utf-8 without mark") << Case{u8,
                                                    {{"方案", "operate", "FileMove"},
                                                     {"方案", "project", "2"},
                                                     {"我的文件夹", "21", "/home/用户/文档"},
                                                     {"我的文件夹", "22", "C:\\"}},
                                                    {"我的文件夹", "23", "/srv/资料"},
                                                    u8 + QString("23=/srv/资料\n").toUtf8()};

        // One overlong or surrogate sequence makes a file GB18030 after all.
        QTest::newRow("almost utf-8")
            << Case{QString("[s]\nk=工作\n").toUtf8() + "z=\xED\xA0\x80\n",
                    {{"s", "k", QStringDecoder("GB18030").decode(QString("工作").toUtf8())}},
                    {"s", "n", "值"},
                    QString("[s]\nk=工作\n").toUtf8() + "z=\xED\xA0\x80\n" + gb("n=值\n")};

        const QString text16 = "[方案]\r\noperate=FileMove\r\n[我的文件夹]\r\n1=D:\\资料\r\n";
        QTest::newRow("utf-16 le")
            << Case{utf16le(text16),
                    {{"方案", "operate", "FileMove"}, {"我的文件夹", "1", "D:\\资料"}},
                    {"方案", "operate", "Set"},
                    utf16le(QString(text16).replace("FileMove", "Set"))};
        QTest::newRow("utf-16 be, new section") << Case{utf16be(text16),
                                                        {{"方案", "operate", "FileMove"}},
                                                        {"user", "id", "默认"},
                                                        utf16be(text16 + "[user]\r\nid=默认\r\n")};
        // A lone surrogate cannot survive a rewrite: reading works, changing is refused.
        QTest::newRow("broken utf-16")
            << Case{utf16le("[s]\r\nk=v\r\n") + QByteArray("x\0\0\xD8\r\0\n\0", 8),
                    {{"s", "k", "v"}},
                    {"s", "k", "w"},
                    {}};
        QTest::newRow("utf-32") << Case{
            QByteArray("\xFF\xFE\0\0", 4) + wide(QStringConverter::Utf32LE, "[方案]\nshow=no\n"),
            {{"方案", "show", "no"}},
            {"方案", "show", "yes"},
            QByteArray("\xFF\xFE\0\0", 4) + wide(QStringConverter::Utf32LE, "[方案]\nshow=yes\n")};

        // Lines no encoding reads: bytes that start no character, a UTF-8 line in a
        // GB18030 file, a cut-off character. Reading them as they come and writing
        // that back changes nothing; a change rewrites its own line only.
        const QByteArray mixed = scheme + "name1=\xFF\xFE junk\x81\r\n" + gb("[我的文件夹]\r\n") +
                                 "1=/home/" + QString("文档").toUtf8() + "\r\n2=D:\\" + gb("资料") +
                                 "\xFE\r\n3=\x84\x31\r\n";
        QTest::newRow("mixed invalid lines") << Case{
            mixed,
            {{"方案", "name1", "\uFFFD\uFFFD junk\uFFFD"}, {"我的文件夹", "2", "D:\\资料\uFFFD"}},
            {"我的文件夹", "2", "D:\\资料"},
            QByteArray(mixed).replace("\xFE\r\n3=", "\r\n3=")};

        // A change after which the file would read in the other encoding makes the
        // file say its own: "脡" (beyond GB2312) is "É" in UTF-8, and "café" without
        // "方案" is GB2312 text "caf茅".
        QTest::newRow("gb18030 kept by a first line")
            << Case{gb("[s]\r\nk=v\r\n"),
                    {{"s", "k", "v"}},
                    {"s", "k", "脡"},
                    ";" + gb("编码 GB18030\r\n[s]\r\nk=脡\r\n")};
        QTest::newRow("utf-8 kept by a mark")
            << Case{QString("[s]\nk=方案\nn=café\n").toUtf8(),
                    {{"s", "k", "方案"}, {"s", "n", "café"}},
                    {"s", "k", "v"},
                    "\xEF\xBB\xBF" + QString("[s]\nk=v\nn=café\n").toUtf8()};

        QTest::newRow("ascii stays gb18030") << Case{
            "[s]\nk=v\n", {{"s", "k", "v"}}, {"s", "k", "方案"}, "[s]\nk=" + gb("方案") + "\n"};
    }

    void readWriteBackAndChange() {
        QFETCH(Case, c);
        const QString ini = dir_.filePath(QStringLiteral("sys.ini"));
        QFile::remove(ini);
        {
            QFile file(ini);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(c.file), c.file.size());
        }
        for (const Entry& e : c.reads)
            QCOMPARE(ReadSetting(ini, e[0], e[1], "<default>"), e[2]);
        // What a load does with every value it reads.
        for (const Entry& e : c.reads)
            WriteSetting(ini, e[0], e[1], ReadSetting(ini, e[0], e[1], "<default>"));
        QCOMPARE(bytesOf(ini), c.file);

        QString refusal;
        try {
            WriteSetting(ini, c.change[0], c.change[1], c.change[2]);
        } catch (const SettingsError& error) {
            refusal = error.message();
        }
        if (c.after.isEmpty()) {
            QVERIFY2(refusal.startsWith("Cannot write to " + ini), qPrintable(refusal));
            QCOMPARE(bytesOf(ini), c.file);
            return;
        }
        QCOMPARE(refusal, QString());
        QCOMPARE(bytesOf(ini), c.after);
        QCOMPARE(ReadSetting(ini, c.change[0], c.change[1], "<default>"), c.change[2]);
        for (const Entry& e : c.reads)
            if (e[1] != c.change[1]) QCOMPARE(ReadSetting(ini, e[0], e[1], "<default>"), e[2]);
    }

    // Files as Linux editors save them: UTF-8 without a mark. Chinese section
    // names, paths and account names read as written, and a change stays UTF-8.
    void editorUtf8Files_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("board") << QString("[方案]\noperate=FileMove\nshow=yes\nproject=3\n"
                                          "name1=工作\nname2=照片\n[我的文件夹]\n"
                                          "1=/home/张伟/文档\n2=/home/张伟/下载\n"
                                          "21=/srv/共享/项目 2024\n[我的文件夹3]\n"
                                          "41=/media/移动硬盘/备份\n");
        QTest::newRow("register") << QString("[张]\nmima=张\n[欧阳修文]\nmima=欧阳修文\n"
                                             "[李小龙]\nmima=李小龙\n");
        QTest::newRow("current account") << QString("[user]\nid=图片\n");
        QTest::newRow("other scripts")
            << QString("[方案]\nname1=Документы\nname2=Bücher\nname3=写真フォルダ\n");
    }

    void editorUtf8Files() {
        QFETCH(QString, text);
        const QString ini = dir_.filePath(QStringLiteral("editor.ini"));
        QFile::remove(ini);
        {
            QFile file(ini);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QVERIFY(file.write(text.toUtf8()) > 0);
        }
        QStringList sections;
        for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
            if (line.startsWith(u'[')) {
                sections << line.mid(1, line.size() - 2);
            } else {
                const qsizetype eq = line.indexOf(u'=');
                QCOMPARE(ReadSetting(ini, sections.last(), line.left(eq), "?"), line.mid(eq + 1));
            }
        }
        QStringList listed;
        ListSettingSections(ini, listed);
        QCOMPARE(listed, sections);
        WriteSetting(ini, sections.last(), "new", "新的值");
        QCOMPARE(bytesOf(ini), text.toUtf8() + QString("new=新的值\n").toUtf8());
    }

    void newFilesAreGb18030() {
        const QString ini = dir_.filePath(QStringLiteral("new.ini"));
        WriteSetting(ini, "方案", "name1", "工作€");
        QCOMPARE(bytesOf(ini), gb("[方案]\r\nname1=工作") + "\x80\r\n");
        QCOMPARE(ReadSetting(ini, "方案", "name1", ""), QString("工作€"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsEncoding)
#include "tst_settings_encoding.moc"
