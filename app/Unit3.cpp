#include "app/Unit3.h"

#include "board/Accounts.h"
#include "platform/DialogButton.h"
#include "platform/Handler.h"
#include "platform/Modeless.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

TForm3* Form3 = nullptr;

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                  const QRect& geometry) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setToolTip(hint);
    l->setGeometry(geometry);
    return l;
}

QLineEdit* makeEdit(QWidget* parent, const char* name, const QRect& geometry) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(geometry);
    e->setMaxLength(10);
    return e;
}

QFrame* makePanel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* p = new QFrame(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFrameStyle(QFrame::Panel | QFrame::Raised);
    p->setGeometry(geometry);
    return p;
}

} // namespace

TForm3::TForm3(QWidget* parent) : QWidget(parent, qb::secondaryWindowFlags()) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(tr("注册，登陆"));
    setToolTip(QStringLiteral("Registration, login"));
    // Closing only hides this window; it must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
    setFixedSize(346, 202);
    move(441, 149);

    Panel2 = makePanel(this, "Panel2", QRect(2, 0, 171, 161));
    Panel2->setAccessibleName(tr("账号列表"));
    Label5 = makeLabel(Panel2, "Label5", tr("账号列表："), QStringLiteral("Account list"),
                       QRect(48, 8, 60, 13));
    ListBox1 = new QListWidget(Panel2);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(8, 24, 153, 97);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setSortingEnabled(false);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setStyleSheet(QStringLiteral("QListWidget::item { height: 13px; }"));
    Button1 = qb::makeDialogButton(Panel2, "Button1", tr("登陆"), QStringLiteral("Login account"),
                                   QRect(6, 125, 74, 23));
    Button2 = qb::makeDialogButton(Panel2, "Button2", tr("删除"), QStringLiteral("delete  account"),
                                   QRect(85, 125, 74, 23));

    Panel1 = makePanel(this, "Panel1", QRect(176, 0, 169, 161));
    Label1 = makeLabel(Panel1, "Label1", tr("注册账号"), QStringLiteral("Register account"),
                       QRect(54, 9, 65, 17));
    Label2 = makeLabel(Panel1, "Label2", tr("账号："), QStringLiteral("Enter your account"),
                       QRect(16, 36, 33, 17));
    Edit1 = makeEdit(Panel1, "Edit1", QRect(56, 32, 104, 20));
    Label3 = makeLabel(Panel1, "Label3", tr("确认："), QStringLiteral("Confirm account"),
                       QRect(16, 83, 41, 17));
    Edit2 = makeEdit(Panel1, "Edit2", QRect(56, 79, 104, 20));
    // A screen reader names each field by the label in front of it.
    Label2->setBuddy(Edit1);
    Label3->setBuddy(Edit2);
    Button3 = qb::makeDialogButton(Panel1, "Button3", tr("注册"), QStringLiteral("Register"),
                                   QRect(10, 123, 74, 23));
    Button4 = qb::makeDialogButton(Panel1, "Button4", tr("关闭"), QStringLiteral("Close"),
                                   QRect(88, 123, 74, 23));

    Label4 =
        makeLabel(this, "Label4", tr("账号，最长为10个字符！"), QString(), QRect(16, 168, 313, 20));

    // The register side first, then the list side.
    QWidget::setTabOrder(Edit1, Edit2);
    QWidget::setTabOrder(Edit2, Button3);
    QWidget::setTabOrder(Button3, Button4);
    QWidget::setTabOrder(Button4, ListBox1);
    QWidget::setTabOrder(ListBox1, Button2);
    QWidget::setTabOrder(Button2, Button1);

    qb::onClick(this, Button1, [this] { Button1Click(); });
    qb::onClick(this, Button2, [this] { Button2Click(); });
    qb::onClick(this, Button3, [this] { Button3Click(); });
    qb::onClick(this, Button4, [this] { Button4Click(); });
}

void TForm3::ShowModeless() {
    qb::showModeless(this, placed_);
}

void TForm3::FormCreate() {
    emit currentAccountFound(qb::findCurrentAccount().currentAccount);
    FillAccountList();
}

void TForm3::FillAccountList() {
    ListBox1->clear();
    ListBox1->addItems(qb::registeredAccounts());
    ListBox1->clearSelection();
    ListBox1->setCurrentRow(-1);
}

void TForm3::Button1Click() {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (!selected.isEmpty()) {
        qb::chooseAccount(selected.front()->text());
        hide();
        qb::propagateFrom([this] { emit loggedIn(); });
    }
    Label4->setText(tr("请选择账号！"));
}

void TForm3::Button2Click() {
    const QList<QListWidgetItem*> selected = ListBox1->selectedItems();
    if (!selected.isEmpty()) {
        qb::deleteAccount(selected.front()->text());
        FillAccountList();
    }
    Label4->setText(tr("请选择账号！"));
}

void TForm3::Button3Click() {
    switch (qb::registerAccount(Edit1->text(), Edit2->text())) {
    case qb::Registration::Empty:
        Label4->setText(tr("账号，不能为空！"));
        return;
    case qb::Registration::NameNotAllowed:
        Label4->setText(tr("账号含有非法字符！"));
        return;
    case qb::Registration::Done:
        FillAccountList();
        return;
    }
}

// Closing hides the dialog (the close box does the same).
void TForm3::Button4Click() {
    close();
}
