// Fuzz target: registry store files and changes to them. Any bytes parse; what the store writes
// reads back as the same keys and values and is written the same way again (lines it cannot read
// included); a value set reads back as set, and a key removed is gone with its subtree.

#include "registry/regstore.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QMap>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

using registry::RegStore;

namespace {

// A broken property names itself on stderr before the run stops.
#define check(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (line %d)\n", #condition, __LINE__);         \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// Any text, lone surrogates and controls included: the store must keep every one.
QString text(FuzzedDataProvider &in)
{
    const std::string bytes = in.ConsumeRandomLengthString(24);
    QString out;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        out += QChar(char16_t(std::uint8_t(bytes[i]) | std::uint8_t(bytes[i + 1]) << 8));
    return out;
}

// Every key (by its folded path) with its values in order.
using Flat = QMap<QString, QList<std::pair<QString, QString>>>;
void flatten(const RegStore &store, const QString &path, Flat &out)
{
    const RegStore::Key *key = store.find(path);
    check(key != nullptr || path.isEmpty());
    // The root key holds nothing of its own unless it has values.
    if (key && !(path.isEmpty() && key->values.isEmpty()))
        out.insert(RegStore::fold(path), key->values);
    for (const QString &child : store.children(path))
        flatten(store, path.isEmpty() ? child : path + u'\\' + child, out);
}
Flat flat(const RegStore &store)
{
    Flat out;
    flatten(store, QString(), out);
    return out;
}

void checkRoundTrip(const RegStore &store)
{
    const QByteArray bytes = store.serialize();
    const RegStore again = RegStore::parse(bytes);
    check(flat(again) == flat(store));
    check(again.serialize() == bytes);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const int edits = in.ConsumeIntegralInRange(0, 4);
    struct Edit
    {
        int op;
        QString path, name, value;
    };
    std::vector<Edit> plan;
    for (int i = 0; i < edits; ++i) {
        Edit e;
        e.op = in.ConsumeIntegralInRange(0, 2);
        e.path = text(in);
        e.name = text(in);
        e.value = text(in);
        plan.push_back(e);
    }
    const std::vector<std::uint8_t> rest = in.ConsumeRemainingBytes<std::uint8_t>();
    const QByteArray bytes(reinterpret_cast<const char *>(rest.data()), qsizetype(rest.size()));

    static const bool trace = qEnvironmentVariableIsSet("FUZZ_TRACE");
    if (trace)
        std::fprintf(stderr, "file: %s\n", bytes.toPercentEncoding().constData());
    RegStore store = RegStore::parse(bytes);
    checkRoundTrip(store);

    for (const Edit &e : plan) {
        switch (e.op) {
        case 0:
        case 1: {
            store.create(e.path).setValue(e.name, e.value);
            const RegStore::Key *key = store.find(e.path);
            check(key && key->value(e.name) && *key->value(e.name) == e.value);
            break;
        }
        default:
            if (store.remove(e.path))
                check(!store.find(e.path));
            break;
        }
        checkRoundTrip(store);
    }
    return 0;
}
