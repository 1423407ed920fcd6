#include "app/Unit1.h"
#include "board/FolderName.h"
#include "store/Account.h"
#include "store/Settings.h"

#include <QLineEdit>
#include <QRadioButton>

// Slot path change of row r: the path is stored under the slot number of the
// checked group (nothing is stored while no group is checked) and the row's name
// is derived from it. A refused write ends the handler before the name changes.
void TForm1::EditChange(int r) {
    const QString path = Edit[r]->text();
    for (int g = 1; g <= 10; ++g) {
        if (RadioButton[g]->isChecked())
            qb::WriteSetting(qb::accountState().currentSettingsFile, QStringLiteral("我的文件夹"),
                             QString::number((g - 1) * 20 + r), path);
    }
    Ed[r]->setText(qb::folderName(path));
}
