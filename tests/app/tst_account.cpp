// The account dialog against real settings files in a temporary program folder,
// with the real main window loading the accounts.
#include "app/Unit3.h"

#include "app/Startup.h"
#include "tests/support/MainWinFixture.h"
#include "tests/support/TabOrder.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

QStringList sectionsOf(const QString& file) {
    QStringList list;
    qb::ListSettingSections(file, list);
    return list;
}

QStringList listed(const TForm3& form) {
    QStringList names;
    for (int i = 0; i < form.ListBox1->count(); ++i)
        names << form.ListBox1->item(i)->text();
    return names;
}

void select(TForm3& form, const QString& name) {
    const auto items = form.ListBox1->findItems(name, Qt::MatchExactly);
    QVERIFY(items.size() == 1);
    items.front()->setSelected(true);
}

void registerName(TForm3& form, const QString& name, const QString& confirmation) {
    form.Edit1->setText(name);
    form.Edit2->setText(confirmation);
    form.Button3->click();
}

} // namespace

class TestAccount : public QObject {
    Q_OBJECT

    // The main window, started as at program start, with the dialog created after it.
    struct Started {
        mw::Fixture fx;
        std::unique_ptr<TForm3> dialog;
        // `seed` prepares the program folder before start-up.
        explicit Started(const std::function<void(mw::Fixture&)>& seed = {}) {
            if (seed) seed(fx);
            fx.start();
            Form1 = fx.form.get();
            dialog = qb::createAccountDialog(fx.form.get());
            Form3 = dialog.get();
        }
        ~Started() {
            Form3 = nullptr;
            Form1 = nullptr;
        }
        QString registerIni() const { return fx.path(QStringLiteral("user.ini")); }
    };

private slots:
    void firstStart() {
        Started s;
        const qb::AccountState& state = qb::accountState();
        QCOMPARE(state.currentAccount, QStringLiteral("默认"));
        QCOMPARE(state.currentSettingsFile, s.fx.sysIni());
        QVERIFY(QFileInfo(s.fx.path(QStringLiteral("user"))).isDir());
        QCOMPARE(s.dialog->ListBox1->count(), 0);
        QCOMPARE(s.dialog->Label4->text(), QStringLiteral("账号，最长为10个字符！"));
        QCOMPARE(s.fx.form->Label17->text(), QStringLiteral("默认"));
        QVERIFY(!s.dialog->isVisible());
        QVERIFY(s.fx.dialogs.errors.isEmpty());
    }

    void controlsAsDesigned() {
        Started s;
        TForm3& f = *s.dialog;
        QCOMPARE(f.objectName(), QStringLiteral("Form3"));
        QCOMPARE(f.windowTitle(), QStringLiteral("注册，登陆"));
        QCOMPARE(f.toolTip(), QStringLiteral("Registration, login"));
        QCOMPARE(f.size(), QSize(346, 202));
        struct Want {
            QWidget* w;
            const char* name;
            QRect geometry;
            const char* hint;
        };
        const Want want[] = {
            {f.Panel2, "Panel2", {2, 0, 171, 161}, ""},
            {f.Label5, "Label5", {48, 8, 60, 13}, "Account list"},
            {f.ListBox1, "ListBox1", {8, 24, 153, 97}, ""},
            {f.Button1, "Button1", {6, 125, 74, 23}, "Login account"},
            {f.Button2, "Button2", {85, 125, 74, 23}, "delete  account"},
            {f.Panel1, "Panel1", {176, 0, 169, 161}, ""},
            {f.Label1, "Label1", {54, 9, 65, 17}, "Register account"},
            {f.Label2, "Label2", {16, 36, 33, 17}, "Enter your account"},
            {f.Edit1, "Edit1", {56, 32, 104, 20}, ""},
            {f.Label3, "Label3", {16, 83, 41, 17}, "Confirm account"},
            {f.Edit2, "Edit2", {56, 79, 104, 20}, ""},
            {f.Button3, "Button3", {10, 123, 74, 23}, "Register"},
            {f.Button4, "Button4", {88, 123, 74, 23}, "Close"},
            {f.Label4, "Label4", {16, 168, 313, 20}, ""},
        };
        for (const Want& w : want) {
            QCOMPARE(f.findChild<QWidget*>(QString::fromLatin1(w.name)), w.w);
            QCOMPARE(w.w->geometry(), w.geometry);
            QCOMPARE(w.w->toolTip(), QString::fromUtf8(w.hint));
        }
        QCOMPARE(f.Label5->text(), QStringLiteral("账号列表："));
        QCOMPARE(f.Label1->text(), QStringLiteral("注册账号"));
        QCOMPARE(f.Label2->text(), QStringLiteral("账号："));
        QCOMPARE(f.Label3->text(), QStringLiteral("确认："));
        QCOMPARE(f.Button1->text(), QStringLiteral("登陆"));
        QCOMPARE(f.Button2->text(), QStringLiteral("删除"));
        QCOMPARE(f.Button3->text(), QStringLiteral("注册"));
        QCOMPARE(f.Button4->text(), QStringLiteral("关闭"));
        // A screen reader names each field by the label in front of it.
        for (const auto& [edit, label] :
             {std::pair{f.Edit1, f.Label2}, std::pair{f.Edit2, f.Label3}})
            QCOMPARE(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Name),
                     label->text());
        QWidget* chain[] = {f.Edit1,    f.Edit2,   f.Button3, f.Button4,
                            f.ListBox1, f.Button2, f.Button1};
        for (int i = 0; i + 1 < 7; ++i)
            QCOMPARE(nextTabStop(chain[i]), chain[i + 1]);

        // Typing stops at ten characters, Chinese ones included.
        QTest::keyClicks(f.Edit1, QStringLiteral("abcdefghijkl"));
        QCOMPARE(f.Edit1->text(), QStringLiteral("abcdefghij"));
        for (QChar c : QStringLiteral("一二三四五六七八九十百"))
            QTest::sendKeyEvent(QTest::Click, f.Edit2, Qt::Key_unknown, QString(c), {});
        QCOMPARE(f.Edit2->text(), QStringLiteral("一二三四五六七八九十"));
    }

    void registerKeepsFileOrderAndFirstPlace() {
        Started s;
        mw::putFile(s.registerIni(),
                    QStringLiteral("[zeta]\r\nmima=zeta\r\n[alpha]\r\nmima=alpha\r\n"));
        s.dialog->FillAccountList();
        registerName(*s.dialog, QStringLiteral("abc"), QStringLiteral("abc"));
        QCOMPARE(
            sectionsOf(s.registerIni()),
            (QStringList{QStringLiteral("zeta"), QStringLiteral("alpha"), QStringLiteral("abc")}));
        QCOMPARE(
            qb::ReadSetting(s.registerIni(), QStringLiteral("abc"), QStringLiteral("mima"), {}),
            QStringLiteral("abc"));
        QCOMPARE(listed(*s.dialog), sectionsOf(s.registerIni())); // never sorted
        // The message line, the fields and the current account are left as they were.
        QCOMPARE(s.dialog->Label4->text(), QStringLiteral("账号，最长为10个字符！"));
        QCOMPARE(s.dialog->Edit1->text(), QStringLiteral("abc"));
        QCOMPARE(qb::accountState().currentAccount, QStringLiteral("默认"));

        select(*s.dialog, QStringLiteral("alpha"));
        registerName(*s.dialog, QStringLiteral("zeta"), QStringLiteral("zeta"));
        QCOMPARE(listed(*s.dialog), (QStringList{QStringLiteral("zeta"), QStringLiteral("alpha"),
                                                 QStringLiteral("abc")}));
        QVERIFY(s.dialog->ListBox1->selectedItems().isEmpty()); // the refill drops the selection
        QVERIFY(!QFileInfo::exists(s.fx.path(QStringLiteral("user/userabc.ini"))));
    }

    void emptyOrMismatchedWritesNothing() {
        Started s;
        const std::pair<const char*, const char*> cases[] = {
            {"abc", "abd"}, {"", ""}, {"abc", ""}, {"", "abc"}, {"Abc", "abc"}};
        for (const auto& [name, confirmation] : cases) {
            s.dialog->Label4->clear();
            registerName(*s.dialog, QString::fromUtf8(name), QString::fromUtf8(confirmation));
            QCOMPARE(s.dialog->Label4->text(), QStringLiteral("账号，不能为空！"));
        }
        QVERIFY(!QFileInfo::exists(s.registerIni()));
        QCOMPARE(s.dialog->ListBox1->count(), 0);
    }

    void namesThatCannotBeAccountsAreRefused() {
        Started s;
        const QString refused[] = {
            QStringLiteral("a/b"),   QStringLiteral("a\\b"),     QStringLiteral("[ab"),
            QStringLiteral("ab]"),   QStringLiteral(" ab"),      QStringLiteral("ab "),
            QStringLiteral("a\tb"),  QStringLiteral("a\u0001b"), QStringLiteral("a\u007fb"),
            QStringLiteral("..\\x"), QStringLiteral("　默认")};
        for (const QString& name : refused) {
            s.dialog->Label4->clear();
            registerName(*s.dialog, name, name);
            QVERIFY2(s.dialog->Label4->text() == QStringLiteral("账号含有非法字符！"),
                     qPrintable(name));
        }
        QVERIFY(!QFileInfo::exists(s.registerIni()));

        // Dots, inner blanks, "=" and Chinese names name valid files.
        const QString allowed[] = {QStringLiteral("a.b"), QStringLiteral("a b"),
                                   QStringLiteral(".."), QStringLiteral("x=y"),
                                   QStringLiteral("默认")};
        for (const QString& name : allowed)
            registerName(*s.dialog, name, name);
        QCOMPARE(listed(*s.dialog), QStringList(std::begin(allowed), std::end(allowed)));
    }

    void deleteRefillsAndLeavesTheRestAlone() {
        Started s;
        for (const char* n : {"x", "y", "z"})
            registerName(*s.dialog, QString::fromLatin1(n), QString::fromLatin1(n));
        mw::putFile(s.fx.path(QStringLiteral("user/usery.ini")), QStringLiteral("[方案]\r\n"));

        s.dialog->Button2->click(); // nothing selected
        QCOMPARE(s.dialog->Label4->text(), QStringLiteral("请选择账号！"));
        QCOMPARE(sectionsOf(s.registerIni()).size(), 3);

        select(*s.dialog, QStringLiteral("y"));
        s.dialog->Button2->click();
        QCOMPARE(sectionsOf(s.registerIni()),
                 (QStringList{QStringLiteral("x"), QStringLiteral("z")}));
        QCOMPARE(listed(*s.dialog), (QStringList{QStringLiteral("x"), QStringLiteral("z")}));
        QVERIFY(s.dialog->ListBox1->selectedItems().isEmpty());
        QVERIFY(QFileInfo::exists(s.fx.path(QStringLiteral("user/usery.ini"))));
    }

    void loginLoadsTheAccountsBoard() {
        // The default account works in move mode, so the load of abc writes copy mode.
        Started s([](mw::Fixture& fx) {
            mw::putFile(fx.sysIni(), QStringLiteral("[方案]\r\noperate=FileMove\r\n"));
        });
        const QString folder = s.fx.path(QStringLiteral("work"));
        QVERIFY(QDir().mkpath(folder));
        const QString accountIni = s.fx.path(QStringLiteral("user/userabc.ini"));
        mw::putFile(accountIni, QStringLiteral("[方案]\r\nproject=3\r\n[我的文件夹]\r\n45=") +
                                    folder + QStringLiteral("\r\n"));
        registerName(*s.dialog, QStringLiteral("abc"), QStringLiteral("abc"));

        s.dialog->ShowModeless();
        s.dialog->Button1->click(); // nothing selected: nothing happens but the message
        QCOMPARE(s.dialog->Label4->text(), QStringLiteral("请选择账号！"));
        QVERIFY(s.dialog->isVisible());
        QVERIFY(!QFileInfo::exists(s.fx.sysIni()) ||
                s.fx.read(s.fx.sysIni(), QStringLiteral("user"), QStringLiteral("id")) ==
                    QStringLiteral("<missing>"));

        select(*s.dialog, QStringLiteral("abc"));
        s.dialog->Button1->click();
        QCOMPARE(s.fx.read(s.fx.sysIni(), QStringLiteral("user"), QStringLiteral("id")),
                 QStringLiteral("abc"));
        QVERIFY(!s.dialog->isVisible());
        QCOMPARE(s.fx.form->Label17->text(), QStringLiteral("abc"));
        QCOMPARE(qb::accountState().currentSettingsFile, accountIni);
        QCOMPARE(s.fx.form->Edit[5]->text(), folder);
        QVERIFY(s.fx.form->Copy->isChecked());
        QCOMPARE(s.fx.read(accountIni, QStringLiteral("方案"), QStringLiteral("operate")),
                 QStringLiteral("FileCopy"));
        QCOMPARE(s.dialog->Label4->text(), QStringLiteral("请选择账号！"));
        QVERIFY(s.fx.dialogs.errors.isEmpty());
    }

    void registeredDefaultNameUsesSysIni() {
        Started s;
        registerName(*s.dialog, QStringLiteral("默认"), QStringLiteral("默认"));
        select(*s.dialog, QStringLiteral("默认"));
        s.dialog->Button1->click();
        QCOMPARE(qb::accountState().currentSettingsFile, s.fx.sysIni());
        QVERIFY(!QFileInfo::exists(s.fx.path(QStringLiteral("user/user默认.ini"))));
        QCOMPARE(s.fx.form->Label17->text(), QStringLiteral("默认"));
    }

    // A name is shown as it is: never taken for markup.
    void markupInANameIsShownAsItIs() {
        Started s;
        const QString name = QStringLiteral("<u>Work");
        registerName(*s.dialog, name, name);
        select(*s.dialog, name);
        s.dialog->Button1->click();
        QCOMPARE(s.fx.form->Label17->text(), name);
        QCOMPARE(s.fx.form->Label17->textFormat(), Qt::PlainText);
    }

    void creationPicksUpTheStoredAccount() {
        mw::Fixture fx;
        mw::putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=abc\r\n"));
        const auto dialog = qb::createAccountDialog(nullptr); // without a main window
        QCOMPARE(qb::accountState().currentAccount, QStringLiteral("abc"));
        QCOMPARE(qb::accountState().currentSettingsFile,
                 fx.path(QStringLiteral("user/userabc.ini")));
        QVERIFY(QFileInfo(fx.path(QStringLiteral("user"))).isDir());
    }

    // sys.ini names an account no registration would take: the default account
    // loads, the status line says so, and no file outside the account files is made.
    void invalidStoredAccountLoadsTheDefault_data() {
        QTest::addColumn<QString>("id");
        QTest::newRow("climbs out") << QStringLiteral("x/../../outside");
        QTest::newRow("backslash") << QStringLiteral("a\\b");
        QTest::newRow("bracket") << QStringLiteral("[x]");
        QTest::newRow("control") << QStringLiteral("a\u0001b");
    }
    void invalidStoredAccountLoadsTheDefault() {
        QFETCH(QString, id);
        Started s([&id](mw::Fixture& fx) {
            QDir().mkpath(fx.path(QStringLiteral("user/userx")));
            mw::putFile(fx.sysIni(), QStringLiteral("[user]\r\nid=") + id + QStringLiteral("\r\n"));
        });
        QCOMPARE(qb::accountState().currentAccount, QStringLiteral("默认"));
        QCOMPARE(qb::accountState().currentSettingsFile, s.fx.sysIni());
        QCOMPARE(s.fx.form->Label17->text(), QStringLiteral("默认"));
        QCOMPARE(s.fx.form->Labeltip->text(), QStringLiteral("账户名无效，已使用默认账户"));
        QVERIFY(!QFileInfo::exists(s.fx.path(QStringLiteral("outside.ini"))));
        QVERIFY(QDir(s.fx.path(QStringLiteral("user"))).entryList(QDir::Files).isEmpty());
        // The stored name stays as it was: only the user changes the account.
        QCOMPARE(s.fx.read(s.fx.sysIni(), QStringLiteral("user"), QStringLiteral("id")), id);
    }

    void refusedLoginWriteIsShownAndEndsTheLogin() {
        Started s;
        registerName(*s.dialog, QStringLiteral("abc"), QStringLiteral("abc"));
        mw::putFile(s.fx.sysIni(), QStringLiteral("[user]\r\nid=默认\r\n"));
        mw::makeReadOnly(s.fx.sysIni());
        s.dialog->ShowModeless();
        s.dialog->Label4->clear();
        select(*s.dialog, QStringLiteral("abc"));
        s.dialog->Button1->click();
        QCOMPARE(s.fx.dialogs.errors,
                 QStringList{QStringLiteral("Unable to write to ") + s.fx.sysIni() + u'.'});
        QVERIFY(s.dialog->isVisible());
        QCOMPARE(s.fx.form->Label17->text(), QStringLiteral("默认"));
    }

    void closingHidesAndKeepsContents() {
        Started s;
        registerName(*s.dialog, QStringLiteral("abc"), QStringLiteral("abc"));
        s.dialog->ShowModeless();
        s.dialog->Button4->click();
        QVERIFY(!s.dialog->isVisible());
        s.dialog->ShowModeless();
        QVERIFY(s.dialog->close()); // the close box
        QVERIFY(!s.dialog->isVisible());
        // Minimised by the window manager: asked for again, it comes back.
        s.dialog->ShowModeless();
        s.dialog->showMinimized();
        s.dialog->ShowModeless();
        QVERIFY(!s.dialog->isMinimized());
        QVERIFY(s.dialog->isVisible());
        QCOMPARE(s.dialog->Edit1->text(), QStringLiteral("abc"));
        QCOMPARE(s.dialog->ListBox1->count(), 1);
    }
};

QTEST_MAIN(TestAccount)
#include "tst_account.moc"
