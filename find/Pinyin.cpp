#include "find/Pinyin.h"

#include "find/FindMatch.h"

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <future>
#include <memory>
#include <mutex>

namespace qb {
namespace {

class Romaniser {
public:
    void prepare() {
        std::lock_guard<std::mutex> lock(m_);
        if (!loading_.valid()) loading_ = std::async(std::launch::async, [this] { load(); });
    }
    // The first letter of the reading of Han character `cp`, or 0.
    char16_t initial(char32_t cp) {
        prepare();
        loading_.wait();
        std::lock_guard<std::mutex> lock(m_);
        if (!rules_) return 0;
        icu::UnicodeString s(static_cast<UChar32>(cp));
        rules_->transliterate(s);
        const char16_t first = s.length() > 0 ? s.charAt(0) : 0;
        return first < 0x80 && QChar::isLetter(first) ? QChar::toLower(first) : 0;
    }

private:
    void load() {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> rules(
            icu::Transliterator::createInstance("Han-Latin; Latin-ASCII", UTRANS_FORWARD, status));
        std::lock_guard<std::mutex> lock(m_);
        if (U_SUCCESS(status)) rules_ = std::move(rules);
    }

    std::mutex m_;
    std::unique_ptr<icu::Transliterator> rules_;
    std::shared_future<void> loading_;
};

Romaniser& romaniser() {
    static Romaniser r;
    return r;
}

} // namespace

void preparePinyin() {
    romaniser().prepare();
}

QString pinyinInitials(const QString& text) {
    QString out;
    bool han = false;
    for (const char32_t cp : text.toUcs4()) {
        if (QChar::script(cp) == QChar::Script_Han && QChar::isLetter(cp)) {
            if (const char16_t c = romaniser().initial(cp)) {
                out += QChar(c);
                han = true;
            }
        } else if (QChar::isLetterOrNumber(cp)) {
            out += foldForFind(QString::fromUcs4(&cp, 1));
        }
    }
    return han ? out : QString();
}

} // namespace qb
