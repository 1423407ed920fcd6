#pragma once
// What the settings files hold for the board: the section names, the slot keys,
// and the stored values of the window's three choices.
#include <QString>

#include <optional>
#include <span>

namespace qb {

inline constexpr int kRows = 20;
inline constexpr int kGroups = 10;

// The section of the choices, the current group and the group names.
inline QString schemeSection() {
    return QStringLiteral("方案");
}
// The section of the slot paths, one key per slot of every group.
inline QString foldersSection() {
    return QStringLiteral("我的文件夹");
}

// The key of row r's path in group g: (g - 1) * 20 + r, in decimal.
QString slotKey(int group, int row);

// The buttons of the three choices: the operation mode, the duplicate policy and
// the docking mode. Exactly one button of a choice is checked, or none.
enum class Choice { Move, Copy, Set, Rename, Replace, AutoReplace, Hide, Show };

// Every choice button, in the order of the enumeration.
std::span<const Choice> allChoices();

// The key of the scheme section that stores `c`'s choice, and the value that
// stands for `c` there.
QString storedKey(Choice c);
QString storedValue(Choice c);
// The button that `value`, stored under `key`, stands for; none when it matches no
// stored spelling exactly (letter case counts).
std::optional<Choice> choiceFor(const QString& key, const QString& value);

// The choice keys in the order a load restores them, with the value each has when
// nothing is stored.
struct ChoiceKey {
    QString key;
    QString defaultValue;
};
std::span<const ChoiceKey> choiceKeys();

} // namespace qb
