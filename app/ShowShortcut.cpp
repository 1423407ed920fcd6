// The board's global shortcut: its setting, its binding and its dialog.
#include "app/ShowShortcut.h"

#include "board/Accounts.h"
#include "platform/Dialogs.h"
#include "platform/GlobalShortcut.h"
#include "platform/Handler.h"
#include "store/Settings.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace qb {
namespace {

const QString kSection = QStringLiteral("Shortcut");
const QString kKey = QStringLiteral("ShowBoard");

QString settingsFile() {
    return accountState().programFolder + QStringLiteral("sys");
}

QString shownKeys(const QKeySequence& keys) {
    return keys.isEmpty() ? QCoreApplication::translate("qb::ShowShortcut", "无")
                          : keys.toString(QKeySequence::NativeText);
}

} // namespace

ShowShortcut::ShowShortcut(std::unique_ptr<GlobalShortcut> binding, std::function<void()> bring,
                           std::function<void(const QString&)> report)
    : binding_(std::move(binding)), bring_(std::move(bring)), report_(std::move(report)) {
    if (!binding_) return;
    connect(binding_.get(), &GlobalShortcut::activated, this,
            [this] { runHandler(nullptr, [this] { bring_(); }); });
    connect(binding_.get(), &GlobalShortcut::bound, this, [this](const QString& why) {
        if (!why.isEmpty())
            runHandler(nullptr, [this, why] {
                report_(QCoreApplication::translate("qb::ShowShortcut", "状态：%1").arg(why));
            });
    });
    // As if there had been no binding from the start: the dialog then says how to
    // bind the key in the desktop's own settings.
    connect(binding_.get(), &GlobalShortcut::unavailable, this, [this] { offered_ = false; });
}

ShowShortcut::~ShowShortcut() = default;

QKeySequence ShowShortcut::defaultKeys() {
    return QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Q);
}

QKeySequence ShowShortcut::stored() {
    const QString text = ReadSetting(settingsFile(), kSection, kKey,
                                     defaultKeys().toString(QKeySequence::PortableText));
    return QKeySequence::fromString(text, QKeySequence::PortableText);
}

void ShowShortcut::store(const QKeySequence& keys) {
    WriteSetting(settingsFile(), kSection, kKey, keys.toString(QKeySequence::PortableText));
}

void ShowShortcut::start() {
    if (!available()) return;
    QString why;
    const QKeySequence keys = stored();
    if (binding_->bind(keys, &why))
        bound_ = keys;
    else
        report_(QCoreApplication::translate("qb::ShowShortcut", "状态：%1").arg(why));
}

bool ShowShortcut::change(const QKeySequence& keys, QString* why) {
    if (!available()) return false;
    if (binding_->bind(keys, why)) {
        bound_ = keys;
        store(keys);
        return true;
    }
    // Whatever held before holds again.
    QString ignored;
    if (!binding_->bind(bound_, &ignored)) bound_ = QKeySequence();
    return false;
}

void ShowShortcut::edit(QWidget* parent) {
    if (!available()) {
        dialogs().messageBox(
            parent,
            QCoreApplication::translate("qb::ShowShortcut",
                                        "此桌面不向程序提供全局快捷键。\n请在桌面的键盘快捷键设置中"
                                        "为命令“quillbeck show”设一个按键。"));
        return;
    }
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ShortcutDialog"));
    dialog.setWindowTitle(appTitle());
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(
        QCoreApplication::translate("qb::ShowShortcut", "显示主窗口的全局快捷键："), &dialog));
    auto* keysEdit = new QKeySequenceEdit(bound_, &dialog);
    keysEdit->setObjectName(QStringLiteral("ShortcutEdit"));
    layout->addWidget(keysEdit);
    auto* note = new QLabel(&dialog);
    note->setObjectName(QStringLiteral("ShortcutNote"));
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QPushButton* standard = buttons->addButton(
        QCoreApplication::translate("qb::ShowShortcut", "默认"), QDialogButtonBox::ResetRole);
    QPushButton* none = buttons->addButton(QCoreApplication::translate("qb::ShowShortcut", "无"),
                                           QDialogButtonBox::ResetRole);
    layout->addWidget(buttons);
    // One combination: the second of a two-step sequence could not be grabbed.
    connect(keysEdit, &QKeySequenceEdit::keySequenceChanged, &dialog,
            [keysEdit](const QKeySequence& keys) {
                if (keys.count() > 1) keysEdit->setKeySequence(QKeySequence(keys[0]));
            });
    connect(standard, &QPushButton::clicked, &dialog,
            [keysEdit] { keysEdit->setKeySequence(defaultKeys()); });
    connect(none, &QPushButton::clicked, keysEdit, &QKeySequenceEdit::clear);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        runHandlerShowingErrors(&dialog, [&] {
            QString why;
            if (change(keysEdit->keySequence(), &why)) {
                report_(QCoreApplication::translate("qb::ShowShortcut", "状态：全局快捷键：%1")
                            .arg(shownKeys(bound_)));
                dialog.accept();
            } else {
                note->setText(why);
            }
        });
    });
    keepAboveMainWindow(&dialog);
    dialog.exec();
}

} // namespace qb
