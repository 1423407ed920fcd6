#include "board/Choices.h"

namespace qb {

namespace {

struct StoredChoice {
    Choice choice;
    const char16_t* key;
    const char16_t* value;
};

// The stored spellings, "FileReplaceAoto" included, are a file format: settings
// files written by every earlier version hold them, and they must keep loading
// as they always did. Never correct them.
constexpr StoredChoice storedChoices[] = {
    {Choice::Move, u"operate", u"FileMove"},
    {Choice::Copy, u"operate", u"FileCopy"},
    {Choice::Set, u"operate", u"Set"},
    {Choice::Rename, u"thesame", u"FileRename"},
    {Choice::Replace, u"thesame", u"FileReplace"},
    {Choice::AutoReplace, u"thesame", u"FileReplaceAoto"},
    {Choice::Hide, u"show", u"no"},
    {Choice::Show, u"show", u"yes"},
};

const StoredChoice& entryOf(Choice c) {
    for (const StoredChoice& e : storedChoices)
        if (e.choice == c) return e;
    Q_UNREACHABLE();
}

} // namespace

std::span<const Choice> allChoices() {
    static const Choice all[] = {Choice::Move,    Choice::Copy,        Choice::Set,  Choice::Rename,
                                 Choice::Replace, Choice::AutoReplace, Choice::Hide, Choice::Show};
    return all;
}

QString slotKey(int group, int row) {
    return QString::number((group - 1) * kRows + row);
}

QString storedKey(Choice c) {
    return QString::fromUtf16(entryOf(c).key);
}

QString storedValue(Choice c) {
    return QString::fromUtf16(entryOf(c).value);
}

std::optional<Choice> choiceFor(const QString& key, const QString& value) {
    for (const StoredChoice& e : storedChoices)
        if (key == QStringView(e.key) && value == QStringView(e.value)) return e.choice;
    return std::nullopt;
}

std::span<const ChoiceKey> choiceKeys() {
    static const ChoiceKey keys[] = {
        {QStringLiteral("operate"), QStringLiteral("FileCopy")},
        {QStringLiteral("thesame"), QStringLiteral("FileReplace")},
        {QStringLiteral("show"), QStringLiteral("yes")},
    };
    return keys;
}

} // namespace qb
