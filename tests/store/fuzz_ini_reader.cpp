// libFuzzer target for the settings-file reader: any bytes must parse without a
// fault, be written back unchanged, and take a write or an erase as the store
// promises. A file the store refuses to rewrite (broken UTF-16 or UTF-32) needs
// only to parse. The test command replays fuzz_seeds/ (seeds and every case a
// run has found) and then runs a fixed seed; `scripts/setup.sh fuzz` explores.
#include "store/IniFile.h"

#include <cstdint>
#include <cstdlib>

using qb::ini::Document;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const Document doc = Document::parse(bytes);
    check(doc.serialize() == bytes);

    const QStringList sections = doc.sections();
    for (const QString& name : sections)
        (void)doc.value(name, QStringLiteral("1"));

    // What the store writes reads back exactly, in the file's encoding. It
    // refuses to rewrite broken UTF-16 or UTF-32 (see rewritable()), and names
    // or values that checkStorable() turns down.
    const auto writeReadsBack = [&](const QString& section, const QString& key,
                                    const QString& readKey, const QString& value) {
        Document written = doc;
        if (!doc.rewritable() || !written.checkStorable(section, key, value).isEmpty()) return;
        written.setValue(section, key, value);
        const Document reread = Document::parse(written.serialize());
        check(reread.encoding() == doc.encoding());
        check(reread.value(section, readKey) == value);
    };
    // Into a new section of any file: storable in every encoding...
    const QString value = QStringLiteral(" 资料\"");
    check(doc.checkStorable(QStringLiteral("方案"), QStringLiteral(" Key "), value).isEmpty());
    writeReadsBack(QStringLiteral("方案"), QStringLiteral(" Key "), QStringLiteral("KEY"), value);
    if (!sections.isEmpty()) {
        // ...and into a section found in the file, whatever bytes spell its name.
        writeReadsBack(sections.first(), QStringLiteral("k"), QStringLiteral("K"),
                       QStringLiteral("v"));
        // Erasing leaves no section of that name.
        Document erased = doc;
        erased.eraseSection(sections.last());
        const QString gone = Document::fold(sections.last());
        for (const QString& name : Document::parse(erased.serialize()).sections())
            check(Document::fold(name) != gone);
    }
    return 0;
}
