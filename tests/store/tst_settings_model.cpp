// Random writes and erases against a plain in-memory model: every read and every
// section list must agree with it, whatever names, case variants and values come.
#include "store/Settings.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;

namespace {

QString folded(const QString& name) {
    QString out = name.trimmed(); // test names only carry spaces and tabs around them
    for (QChar& c : out)
        if (c >= u'A' && c <= u'Z') c = c.toLower();
    return out;
}

struct Model {
    struct Section {
        QString name;                            // spelling of the write that created it
        QList<std::pair<QString, QString>> keys; // folded key, value
    };
    QList<Section> sections;

    Section* find(const QString& name) {
        for (Section& s : sections)
            if (folded(s.name) == folded(name)) return &s;
        return nullptr;
    }
    void write(const QString& section, const QString& key, const QString& value) {
        Section* s = find(section);
        if (!s) {
            sections.append({section.trimmed(), {}});
            s = &sections.last();
        }
        for (auto& [k, v] : s->keys)
            if (k == folded(key)) {
                v = value;
                return;
            }
        s->keys.append({folded(key), value});
    }
    void erase(const QString& section) {
        sections.removeIf([&](const Section& s) { return folded(s.name) == folded(section); });
    }
    std::optional<QString> read(const QString& section, const QString& key) {
        if (Section* s = find(section))
            for (const auto& [k, v] : s->keys)
                if (k == folded(key)) return v;
        return std::nullopt;
    }
    QStringList names() const {
        QStringList out;
        for (const Section& s : sections)
            out.append(s.name);
        return out;
    }
};

class Random {
public:
    explicit Random(quint32 seed) : gen_(seed) {}
    int below(int n) { return int(gen_.bounded(n)); }
    template <typename T> const T& pick(const QList<T>& list) {
        return list[below(int(list.size()))];
    }

    // A name from a small pool, so that names meet again, in a random letter case
    // and with random blanks around it.
    QString name(const QStringList& pool) {
        QString n = pick(pool);
        for (QChar& c : n)
            if (c.isLetter() && c.unicode() < 128 && below(2))
                c = below(2) ? c.toUpper() : c.toLower();
        return blanks() + n + blanks();
    }
    QString value() {
        static const QStringList pieces = {"a", "Z",  " ", "\t",   "\"", "'", "=",    ";",   "[",
                                           "]", "\\", "/", "资料", "😀",  ".", "C:\\", "默认"};
        QString v;
        for (int n = below(4) == 0 ? 0 : below(12); n > 0; --n)
            v += pick(pieces);
        return v;
    }

private:
    QString blanks() {
        static const QStringList choice = {"", "", "", " ", "\t", "  "};
        return pick(choice);
    }
    QRandomGenerator gen_;
};

} // namespace

class TestSettingsModel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { setSettingsFlushForTesting(SettingsFlush::Never); }

    void agreesWithModel_data() {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<QByteArray>("start");
        QTest::newRow("empty file") << 1u << QByteArray();
        QTest::newRow("comments, LF") << 2u << QByteArray("; kept\n\nstray line\n");
        QTest::newRow("UTF-8 with BOM") << 3u << QByteArray("\xEF\xBB\xBF; 注释\r\n");
        QTest::newRow("no final line break") << 4u << QByteArray("; x");
    }

    void agreesWithModel() {
        QFETCH(quint32, seed);
        QFETCH(QByteArray, start);
        QTemporaryDir dir;
        const QString file = dir.filePath("model.ini");
        if (!start.isEmpty()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(start);
        }
        const QStringList sectionPool = {"方案", "我的文件夹", "user", "Abc", "x y", "a]b", ""};
        const QStringList keyPool = {"1", "20", "200", "operate", "Name3", "id", "k y", "é"};
        Random random(seed);
        Model model;
        for (int step = 0; step < 1500; ++step) {
            const QString section = random.name(sectionPool);
            const QString key = random.name(keyPool);
            const int op = random.below(100);
            const QString where = QStringLiteral("seed %1 step %2").arg(seed).arg(step);
            if (op < 50) {
                const QString value = random.value();
                WriteSetting(file, section, key, value);
                model.write(section, key, value);
            } else if (op < 58) {
                EraseSettingSection(file, section);
                model.erase(section);
            } else if (op < 90) {
                QVERIFY2(ReadSetting(file, section, key, "\x01") ==
                             model.read(section, key).value_or("\x01"),
                         qPrintable(where));
            } else {
                QStringList list;
                ListSettingSections(file, list);
                QVERIFY2(list == model.names(), qPrintable(where));
            }
        }
        for (const QString& section : sectionPool)
            for (const QString& key : keyPool)
                QCOMPARE(ReadSetting(file, section, key, "\x01"),
                         model.read(section, key).value_or("\x01"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray end = f.readAll();
        // What was there before any write stays at the front, byte for byte (a last
        // line without a line break gains one).
        QVERIFY(end.startsWith(start));
    }
};

QTEST_GUILESS_MAIN(TestSettingsModel)
#include "tst_settings_model.moc"
