#pragma once
// The first letters of the pinyin of Han characters, so that "xmbg" finds 项目报告
// as users of Chinese input methods expect.
#include <QString>

namespace qb {

// Starts loading the romanisation rules on a thread of their own: they take about
// a tenth of a second, which the first keystroke in the find field should not wait.
void preparePinyin();

// `text` with each Han character replaced by the first letter of its most common
// reading, its other letters and digits folded as the search folds them, the rest
// left out; empty when `text` holds no Han character or no rules could be loaded.
QString pinyinInitials(const QString& text);

} // namespace qb
