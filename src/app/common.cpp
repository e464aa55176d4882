#include "app/common.h"

#include "automation/marshal.h"

namespace {

QString folded(const QString &key)
{
    return key.toCaseFolded();
}

} // namespace

QVariant clsCommon::Common_Item(const QString &key) const
{
    const auto it = m_entries.constFind(folded(key));
    if (it == m_entries.constEnd())
        return QVariant();
    if (it->isObject)
        return QVariant::fromValue<QObject *>(it->object.data());
    return it->value;
}

void clsCommon::Common_Item(const QString &key, const QVariant &value)
{
    rt::ResumeNext silent;
    silent([&] {
        Entry entry;
        entry.isObject = automation::holdsObject(value);
        if (entry.isObject)
            entry.object = automation::objectOf(value);
        else
            entry.value = value;
        m_entries.insert(folded(key), entry);
    });
}

void clsCommon::Common_Clear()
{
    rt::Proc h("common", "Clear");
    h([&] { m_entries.clear(); });
}
