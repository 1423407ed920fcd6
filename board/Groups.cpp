#include "app/Controls.h"
#include "app/Unit1.h"
#include "board/FolderName.h"
#include "platform/Dialogs.h"
#include "store/Account.h"
#include "store/Settings.h"

#include <QLineEdit>
#include <QRadioButton>

// Group switch to group g. Its button is already checked (and the others not), so
// each path field that changes stores itself under group g's slot numbers.
void TForm1::RadioButtonClick(int g) {
    const QString& file = qb::accountState().currentSettingsFile;
    qb::WriteSetting(file, QStringLiteral("方案"), QStringLiteral("project"), QString::number(g));
    for (int r = 1; r <= 20; ++r) {
        qb::setEditText(Edit[r],
                        qb::ReadSetting(file, QStringLiteral("我的文件夹"),
                                        QString::number((g - 1) * 20 + r), qb::defaultSlotPath()));
    }
}

// Group rename: a right press on group button g asks for the group's name. The
// name is stored after Cancel too, with the caption unchanged.
void TForm1::RadioButtonMouseDown(int g, Qt::MouseButton button, Qt::KeyboardModifiers,
                                  const QPoint&) {
    if (button != Qt::RightButton) return;
    QString name = RadioButton[g]->text();
    qb::dialogs().getText(this, QStringLiteral("设置文件夹分组名"),
                          QStringLiteral("Settings folder group name"), 255, name);
    RadioButton[g]->setText(name);
    qb::WriteSetting(qb::accountState().currentSettingsFile, QStringLiteral("方案"),
                     QStringLiteral("name") + QString::number(g), name);
}
