// Fuzz target: INI file contents and edits on them. Any bytes parse and are written back byte for
// byte; after each edit the document reads as the edit says, and what it writes reads back as the
// same sections, keys and values.

#include "inifile/inidocument.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

using inifile::IniDocument;

namespace {

// A broken property names itself on stderr before the run stops.
#define check(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (line %d)\n", #condition, __LINE__);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

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
    FuzzedDataProvider in(data, size);
    const int edits = in.ConsumeIntegralInRange(0, 6);
    struct Edit
    {
        int op;
        QString section, key, value;
    };
    std::vector<Edit> plan;
    for (int i = 0; i < edits; ++i) {
        Edit e;
        e.op = in.ConsumeIntegralInRange(0, 3);
        e.section = text(in);
        e.key = text(in);
        e.value = text(in);
        plan.push_back(e);
    }
    const std::vector<std::uint8_t> rest = in.ConsumeRemainingBytes<std::uint8_t>();
    const QByteArray bytes(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));

    IniDocument doc = IniDocument::parse(bytes);
    check(doc.serialize() == bytes);
    checkRoundTrip(doc);

    static const bool trace = qEnvironmentVariableIsSet("FUZZ_TRACE");
    if (trace)
        std::fprintf(stderr, "file: %s\n", bytes.toPercentEncoding().constData());
    for (const Edit &e : plan) {
        if (trace) {
            std::fprintf(stderr, "edit %d [%s] %s = %s\n", e.op,
                e.section.toUtf8().toPercentEncoding().constData(),
                e.key.toUtf8().toPercentEncoding().constData(),
                e.value.toUtf8().toPercentEncoding().constData());
        }
        switch (e.op) {
        case 0:
        case 1: {
            const IniDocument::Edit result = doc.setValue(e.section, e.key, e.value);
            if (result == IniDocument::Edit::Refused)
                break;
            const std::optional<QString> expected
                = e.value.isEmpty() ? std::nullopt : std::optional<QString>(e.value);
            check(doc.value(e.section, e.key) == expected);
            check(doc.hasKey(e.section, e.key));
            break;
        }
        case 2:
            doc.removeKey(e.section, e.key);
            check(!doc.hasKey(e.section, e.key));
            check(!doc.value(e.section, e.key));
            break;
        default:
            doc.removeSection(e.section);
            check(!doc.hasSection(e.section));
            break;
        }
        checkRoundTrip(doc);
    }
    return 0;
}
