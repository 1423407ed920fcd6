#include "app/Unit1.h"
#include "store/Account.h"
#include "store/Settings.h"

// Operation mode and duplicate policy: each handler stores its choice the moment
// its button becomes checked, and does nothing else.

static void writeScheme(const QString& key, const QString& value) {
    qb::WriteSetting(qb::accountState().currentSettingsFile, QStringLiteral("方案"), key, value);
}

void TForm1::MoveClick() {
    writeScheme(QStringLiteral("operate"), QStringLiteral("FileMove"));
}
void TForm1::CopyClick() {
    writeScheme(QStringLiteral("operate"), QStringLiteral("FileCopy"));
}
void TForm1::SetClick() {
    writeScheme(QStringLiteral("operate"), QStringLiteral("Set"));
}
void TForm1::RadioButton13Click() {
    writeScheme(QStringLiteral("thesame"), QStringLiteral("FileRename"));
}
void TForm1::RadioButton14Click() {
    writeScheme(QStringLiteral("thesame"), QStringLiteral("FileReplace"));
}
void TForm1::RadioButton15Click() {
    writeScheme(QStringLiteral("thesame"), QStringLiteral("FileReplaceAoto"));
}
