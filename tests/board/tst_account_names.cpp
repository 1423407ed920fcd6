// Account names come back as they were registered, each alone in the register:
// the file then holds that name and nothing else, and a GB18030 name is often
// valid UTF-8 too ("图片" reads "ͼƬ"). Every GB2312 hanzi is registered, listed,
// logged in and found current again, and so is a seeded sample of two- and
// three-character names whose GB18030 bytes are valid UTF-8.
#include "board/Accounts.h"
#include "platform/ProgramFolder.h"
#include "store/Settings.h"
#include "store/TextCodec.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace qb;

class TestAccountNames : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        setSettingsFlushForTesting(SettingsFlush::Never);
        setProgramFolder(dir_.path() + u'/');
        findCurrentAccount();
    }

    void readBackAsRegistered_data() {
        QTest::addColumn<QStringList>("names");
        QStringList all;
        QStringDecoder gb("GB18030");
        for (int lead = 0xB0; lead <= 0xF7; ++lead) {
            QStringList row; // one row of the table, without its empty cells
            for (int cell = 0xA1; cell <= 0xFE; ++cell) {
                const char pair[2] = {char(lead), char(cell)};
                const QString c = gb.decode(QByteArrayView(pair, 2));
                if (c.size() == 1 && c[0].script() == QChar::Script_Han) row << c;
            }
            QTest::addRow("hanzi %X", lead) << row;
            all << row;
        }
        QCOMPARE(all.size(), 6763);
        QRandomGenerator rng(20240611);
        for (int length : {2, 3}) {
            QStringList sample;
            while (sample.size() < 1500) {
                QString name;
                for (int i = 0; i < length; ++i)
                    name += all[rng.bounded(int(all.size()))];
                if (ini::isValidUtf8(ini::encodeGb18030(name))) sample << name;
            }
            QTest::addRow("%d characters, valid UTF-8 too", length) << sample;
        }
    }

    void readBackAsRegistered() {
        QFETCH(QStringList, names);
        for (const QString& name : names) {
            QCOMPARE(registerAccount(name, name), Registration::Done);
            QCOMPARE(registeredAccounts(), QStringList{name});
            chooseAccount(name);
            QCOMPARE(findCurrentAccount().currentAccount, name);
            deleteAccount(name);
        }
    }
};

QTEST_GUILESS_MAIN(TestAccountNames)
#include "tst_account_names.moc"
