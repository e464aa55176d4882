// Fuzz target: registry store files and changes to them. Any bytes parse; what the store writes
// reads back as the same keys and values and is written the same way again (lines it cannot read
// included); a value set reads back as set, and a key removed is gone with its subtree.

#include "fuzzinput.h"
#include "registry/regstore.h"

#include <QMap>

using registry::RegStore;

namespace {

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
    const FuzzInput input = splitFuzzInput(data, size, 4, 2, text);
    RegStore store = RegStore::parse(input.file);
    checkRoundTrip(store);

    for (const FuzzEdit &e : input.edits) {
        switch (e.op) {
        case 0:
        case 1: {
            store.create(e.where).setValue(e.name, e.value);
            const RegStore::Key *key = store.find(e.where);
            check(key && key->value(e.name) && *key->value(e.name) == e.value);
            break;
        }
        default:
            if (store.remove(e.where))
                check(!store.find(e.where));
            break;
        }
        checkRoundTrip(store);
    }
    return 0;
}
