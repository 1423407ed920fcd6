#include "app/Controls.h"
#include "app/Unit1.h"
#include "board/FolderName.h"
#include "platform/ProgramFolder.h"
#include "store/Account.h"
#include "store/Settings.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

// The load only sets controls; the handlers those changes set off write the
// values back. An error of such a handler ends the load at that step (checkRadio
// rethrows it), except a path field's, which reports itself and lets the load go on.
void TForm1::LoadAccount() {
    centreOnPrimaryScreen();

    qb::AccountState& state = qb::accountState();
    state.programFolder = qb::programFolder();
    state.currentSettingsFile = state.programFolder + QStringLiteral("sys.ini");
    state.currentAccount = qb::ReadSetting(state.currentSettingsFile, QStringLiteral("user"),
                                           QStringLiteral("id"), qb::defaultAccount());
    // A failure shows later, as the refused write of the account file.
    QDir().mkpath(state.programFolder + QStringLiteral("user"));
    if (state.currentAccount != qb::defaultAccount())
        state.currentSettingsFile = qb::accountFile(state.programFolder, state.currentAccount);
    const QString file = state.currentSettingsFile;
    const QString scheme = QStringLiteral("方案");

    Label17->setText(state.currentAccount);

    // Values that match none of the known ones leave their buttons as they are.
    QString v =
        qb::ReadSetting(file, scheme, QStringLiteral("operate"), QStringLiteral("FileCopy"));
    if (v == QLatin1String("FileCopy")) qb::checkRadio(Copy);
    if (v == QLatin1String("FileMove")) qb::checkRadio(Move);
    if (v == QLatin1String("Set")) qb::checkRadio(Set);

    v = qb::ReadSetting(file, scheme, QStringLiteral("thesame"), QStringLiteral("FileReplace"));
    if (v == QLatin1String("FileRename")) qb::checkRadio(RadioButton[13]);
    if (v == QLatin1String("FileReplaceAoto")) qb::checkRadio(RadioButton[15]);
    if (v == QLatin1String("FileReplace")) qb::checkRadio(RadioButton[14]);

    v = qb::ReadSetting(file, scheme, QStringLiteral("show"), QStringLiteral("yes"));
    if (v == QLatin1String("yes")) qb::checkRadio(RadioButton[12]);
    if (v == QLatin1String("no")) qb::checkRadio(RadioButton[11]);

    v = qb::ReadSetting(file, scheme, QStringLiteral("project"), QStringLiteral("1"));
    for (int g = 1; g <= 10; ++g) {
        if (v != QString::number(g)) continue;
        qb::checkRadio(RadioButton[g]);
        for (int r = 1; r <= 20; ++r) {
            qb::setEditText(Edit[r], qb::ReadSetting(file, QStringLiteral("我的文件夹"),
                                                     QString::number((g - 1) * 20 + r),
                                                     qb::defaultSlotPath()));
        }
    }

    for (int g = 1; g <= 10; ++g) {
        RadioButton[g]->setText(qb::ReadSetting(
            file, scheme, QStringLiteral("name") + QString::number(g), QString::number(g)));
    }
}

void TForm1::Button2Click() {
    const QString folder = qb::accountState().programFolder.isEmpty()
                               ? qb::programFolder()
                               : qb::accountState().programFolder;
    qb::WriteSetting(folder + QStringLiteral("sys"), QStringLiteral("user"), QStringLiteral("id"),
                     qb::defaultAccount());
    LoadAccount();
}
