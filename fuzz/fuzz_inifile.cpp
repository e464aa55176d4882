// Fuzz target: INI file contents and edits on them. Any bytes parse and are written back byte for
// byte; after each edit the document reads as the edit says, and what it writes reads back as the
// same sections, keys and values.

#include "fuzzinput.h"
#include "inifile/inidocument.h"

#include <optional>

using inifile::IniDocument;

namespace {

QString text(FuzzedDataProvider &in)
{
    const std::string bytes = in.ConsumeRandomLengthString(24);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// Two documents hold the same sections, keys and values.
void checkSame(const IniDocument &a, const IniDocument &b)
{
    check(a.sections() == b.sections());
    for (const QString &section : a.sections()) {
        check(a.keys(section) == b.keys(section));
        for (const QString &key : a.keys(section))
            check(a.value(section, key) == b.value(section, key));
    }
}

// What a document writes reads back as the same document, and writes the same bytes again.
void checkRoundTrip(const IniDocument &doc)
{
    const QByteArray bytes = doc.serialize();
    const IniDocument again = IniDocument::parse(bytes);
    checkSame(doc, again);
    check(again.serialize() == bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const FuzzInput input = splitFuzzInput(data, size, 6, 3, text);
    const QByteArray &bytes = input.file;
    IniDocument doc = IniDocument::parse(bytes);
    check(doc.serialize() == bytes);
    checkRoundTrip(doc);

    for (const FuzzEdit &e : input.edits) {
        switch (e.op) {
        case 0:
        case 1: {
            const IniDocument::Edit result = doc.setValue(e.where, e.name, e.value);
            if (result == IniDocument::Edit::Refused)
                break;
            const std::optional<QString> expected
                = e.value.isEmpty() ? std::nullopt : std::optional<QString>(e.value);
            check(doc.value(e.where, e.name) == expected);
            check(doc.hasKey(e.where, e.name));
            break;
        }
        case 2:
            doc.removeKey(e.where, e.name);
            check(!doc.hasKey(e.where, e.name));
            check(!doc.value(e.where, e.name));
            break;
        default:
            doc.removeSection(e.where);
            check(!doc.hasSection(e.where));
            break;
        }
        checkRoundTrip(doc);
    }
    return 0;
}
