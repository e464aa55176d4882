#pragma once
// What the store fuzz targets share: a property check that names itself when it breaks, and the
// input taken apart into a plan of edits (from the input's end) and a file's bytes (the rest).
// FUZZ_TRACE=1 in the environment prints each input's file and edits when a finding is replayed.

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define check(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (line %d)\n", #condition, __LINE__);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// One edit: an operation number and three texts (section or key path, key or value name, value).
struct FuzzEdit
{
    int op = 0;
    QString where, name, value;
};

struct FuzzInput
{
    std::vector<FuzzEdit> edits;
    QByteArray file;
};

// Up to maxEdits edits with operations 0 to maxOp; text() makes each text from the input.
template<class Text>
FuzzInput splitFuzzInput(
    const std::uint8_t *data, std::size_t size, int maxEdits, int maxOp, Text &&text)
{
    FuzzedDataProvider in(data, size);
    FuzzInput input;
    const int count = in.ConsumeIntegralInRange(0, maxEdits);
    for (int i = 0; i < count; ++i) {
        FuzzEdit e;
        e.op = in.ConsumeIntegralInRange(0, maxOp);
        e.where = text(in);
        e.name = text(in);
        e.value = text(in);
        input.edits.push_back(e);
    }
    const std::vector<std::uint8_t> rest = in.ConsumeRemainingBytes<std::uint8_t>();
    input.file = QByteArray(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));
    if (qEnvironmentVariableIsSet("FUZZ_TRACE")) {
        std::fprintf(stderr, "file: %s\n", input.file.toPercentEncoding().constData());
        for (const FuzzEdit &e : input.edits) {
            std::fprintf(stderr, "edit %d [%s] %s = %s\n", e.op,
                e.where.toUtf8().toPercentEncoding().constData(),
                e.name.toUtf8().toPercentEncoding().constData(),
                e.value.toUtf8().toPercentEncoding().constData());
        }
    }
    return input;
}
