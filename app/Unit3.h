#pragma once
#include <QWidget>

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The account dialog: registers, lists, deletes and logs in accounts. Created once
// at start-up (after the main window's first load), shown without blocking the main
// window; closing only hides it, so its list, fields and message line persist.
// It tells the rest of the program what the user chose through its signals.
class TForm3 : public QWidget {
    Q_OBJECT
public:
    // Builds the dialog; whoever creates it connects its signals, then runs FormCreate.
    explicit TForm3(QWidget* parent = nullptr);

    // Shows the dialog without blocking, or brings it to the front when shown already.
    void ShowModeless();

    QFrame* Panel2;
    QLabel* Label5;
    QListWidget* ListBox1;
    QPushButton* Button1; // 登陆
    QPushButton* Button2; // 删除
    QFrame* Panel1;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* Edit1; // the new account's name
    QLabel* Label3;
    QLineEdit* Edit2;     // the name typed again
    QPushButton* Button3; // 注册
    QPushButton* Button4; // 关闭
    QLabel* Label4;       // message line

    void FormCreate();
    void Button1Click(); // log in
    void Button2Click(); // delete
    void Button3Click(); // register
    void Button4Click(); // close

    // Refills ListBox1 with the register's section names, in file order.
    void FillAccountList();

signals:
    // The creation found `account` current.
    void currentAccountFound(const QString& account);
    // A login made the selected account current in sys.ini: it is to be loaded.
    // An error of the load, rethrown by qb::propagateFrom, ends the login.
    void loggedIn();

private:
    bool placed_ = false;
};

extern TForm3* Form3;
