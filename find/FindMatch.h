#pragma once
// Finding a slot by what the user remembers of it: a part of its name, of its
// path or of its group's name, typed without caring for case, accents or the
// width of the characters.
#include <QList>
#include <QString>

#include <vector>

namespace qb {

// `text` as the search compares it: compatibility-decomposed (full-width forms
// become their ASCII twins), combining marks dropped, case folded.
QString foldForFind(const QString& text);

// A text in its folded form, with where its words begin: after a character that
// is no letter or digit, between letters and digits, and at a capital after a
// small letter ("myPhotos2024" has words at m, P and 2).
struct FoldedText {
    QString text;
    std::vector<bool> wordStart; // one flag per character of `text`
};
FoldedText foldWithWords(const QString& text);

// One slot of the account, as the search knows it.
struct FindEntry {
    int group = 0;
    int row = 0;
    QString groupName;
    QString name;
    QString path;
    FoldedText foldedName;
    QString foldedPath;
    QString foldedGroup;
    QString initials; // of the name's pinyin (pinyinInitials), empty without Han
};
// Fills in the folded forms of the entry's texts.
FindEntry makeFindEntry(int group, int row, const QString& groupName, const QString& name,
                        const QString& path);

// How well an entry matches, best first.
enum class MatchRank {
    NamePrefix, // the name begins with the query
    NameWord,   // a word of the name does
    NameInside, // the name holds it elsewhere
    Initials,   // the first letters of the name's pinyin hold it
    PathInside, // the path holds it
    GroupName,  // the group's name holds it
    AllWords,   // each word of the query is found in one of the three
};

struct FindHit {
    MatchRank rank = MatchRank::NamePrefix;
    const FindEntry* entry = nullptr;
};

// The entries the query finds, best first; ties in group and row order. A query
// of blanks finds nothing.
std::vector<FindHit> findSlots(const QList<FindEntry>& entries, const QString& query);

} // namespace qb
