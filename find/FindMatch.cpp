// The search over the account's slots: folding and ranking, no widgets.
#include "find/FindMatch.h"

#include "find/Pinyin.h"

#include <algorithm>
#include <optional>

namespace qb {
namespace {

enum class Kind { Other, Lower, Upper, Ideograph, OtherLetter, Digit };

Kind kindOf(char32_t cp) {
    switch (QChar::category(cp)) {
    case QChar::Letter_Lowercase:
        return Kind::Lower;
    case QChar::Letter_Uppercase:
    case QChar::Letter_Titlecase:
        return Kind::Upper;
    case QChar::Letter_Other:
        return QChar::script(cp) == QChar::Script_Han ? Kind::Ideograph : Kind::OtherLetter;
    case QChar::Letter_Modifier:
        return Kind::OtherLetter;
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return Kind::Digit;
    default:
        return Kind::Other;
    }
}

bool isMark(char32_t cp) {
    const QChar::Category c = QChar::category(cp);
    return c == QChar::Mark_NonSpacing || c == QChar::Mark_SpacingCombining ||
           c == QChar::Mark_Enclosing;
}

bool beginsWord(Kind prev, Kind cur) {
    if (cur == Kind::Other) return false;
    if (prev == Kind::Other) return true;
    if ((prev == Kind::Digit) != (cur == Kind::Digit)) return true;
    if ((prev == Kind::Ideograph) != (cur == Kind::Ideograph)) return true;
    return prev == Kind::Lower && cur == Kind::Upper;
}

// One character folded: its compatibility decomposition without marks, case folded.
QString foldOne(char32_t cp) {
    if (cp < 0x80) return QString(QChar(char16_t(cp))).toCaseFolded();
    const QString decomposed = QString::fromUcs4(&cp, 1).normalized(QString::NormalizationForm_KD);
    QString out;
    for (const char32_t part : decomposed.toUcs4())
        if (!isMark(part)) out += QString::fromUcs4(&part, 1);
    return out.toCaseFolded();
}

bool atWordStart(const FoldedText& name, const QString& query) {
    for (qsizetype i = name.text.indexOf(query); i >= 0; i = name.text.indexOf(query, i + 1))
        if (name.wordStart[static_cast<size_t>(i)]) return true;
    return false;
}

std::optional<MatchRank> rankOf(const FindEntry& e, const QString& query,
                                const QStringList& words) {
    const qsizetype at = e.foldedName.text.indexOf(query);
    if (at == 0) return MatchRank::NamePrefix;
    if (at > 0)
        return atWordStart(e.foldedName, query) ? MatchRank::NameWord : MatchRank::NameInside;
    if (e.initials.contains(query)) return MatchRank::Initials;
    if (e.foldedPath.contains(query)) return MatchRank::PathInside;
    if (e.foldedGroup.contains(query)) return MatchRank::GroupName;
    if (words.size() < 2) return std::nullopt;
    for (const QString& w : words)
        if (!e.foldedName.text.contains(w) && !e.foldedPath.contains(w) &&
            !e.foldedGroup.contains(w))
            return std::nullopt;
    return MatchRank::AllWords;
}

} // namespace

FoldedText foldWithWords(const QString& text) {
    FoldedText out;
    out.text.reserve(text.size());
    out.wordStart.reserve(static_cast<size_t>(text.size()));
    Kind prev = Kind::Other;
    for (const char32_t cp : text.toUcs4()) {
        if (isMark(cp)) continue; // an accent typed apart from its letter
        const Kind cur = kindOf(cp);
        const QString piece = foldOne(cp);
        for (qsizetype i = 0; i < piece.size(); ++i)
            out.wordStart.push_back(i == 0 && beginsWord(prev, cur));
        out.text += piece;
        prev = cur;
    }
    return out;
}

QString foldForFind(const QString& text) {
    bool ascii = true;
    for (const QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    return ascii ? text.toCaseFolded() : foldWithWords(text).text;
}

FindEntry makeFindEntry(int group, int row, const QString& groupName, const QString& name,
                        const QString& path) {
    FindEntry e;
    e.group = group;
    e.row = row;
    e.groupName = groupName;
    e.name = name;
    e.path = path;
    e.foldedName = foldWithWords(name);
    e.foldedPath = foldForFind(path);
    e.foldedGroup = foldForFind(groupName);
    e.initials = pinyinInitials(name);
    return e;
}

std::vector<FindHit> findSlots(const QList<FindEntry>& entries, const QString& query) {
    const QString folded = foldForFind(query).simplified();
    std::vector<FindHit> hits;
    if (folded.isEmpty()) return hits;
    const QStringList words = folded.split(u' ');
    for (const FindEntry& e : entries)
        if (const std::optional<MatchRank> rank = rankOf(e, folded, words))
            hits.push_back(FindHit{*rank, &e});
    std::sort(hits.begin(), hits.end(), [](const FindHit& a, const FindHit& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.entry->group != b.entry->group) return a.entry->group < b.entry->group;
        return a.entry->row < b.entry->row;
    });
    return hits;
}

} // namespace qb
