// libFuzzer target for the settings-file reader: any bytes must parse without a
// fault, be written back unchanged, and take a write or an erase as the store
// promises.
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

    // A value written into any file reads back exactly.
    const QString value = QStringLiteral(" 资料\"");
    Document written = doc;
    check(written.checkStorable(QStringLiteral("方案"), QStringLiteral(" Key "), value).isEmpty());
    written.setValue(QStringLiteral("方案"), QStringLiteral(" Key "), value);
    const QByteArray out = written.serialize();
    check(Document::parse(out).value(QStringLiteral("方案"), QStringLiteral("KEY")) == value);

    if (!sections.isEmpty()) {
        // Into a section found in the file, whatever bytes spell its name.
        Document into = doc;
        into.setValue(sections.first(), QStringLiteral("k"), QStringLiteral("v"));
        const Document reread = Document::parse(into.serialize());
        // A code-page file whose only bytes that were not UTF-8 the write replaced
        // reads as UTF-8 afterwards: the encoding guess, not the write, changed.
        if (reread.encoding() == doc.encoding())
            check(reread.value(sections.first(), QStringLiteral("k")) == QStringLiteral("v"));
        // Erasing leaves no section of that name.
        Document erased = doc;
        erased.eraseSection(sections.last());
        const QString gone = Document::fold(sections.last());
        for (const QString& name : Document::parse(erased.serialize()).sections())
            check(Document::fold(name) != gone);
    }
    return 0;
}
