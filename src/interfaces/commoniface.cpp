#include "interfaces/commoniface.h"

#include "app/common.h"
#include "automation/guard.h"

CommonIface::CommonIface(clsCommon *store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{ }

QVariant CommonIface::Item(const QString &key)
{
    return automation::guard([&] { return m_store->Common_Item(key); });
}

void CommonIface::SetItem(const QString &key, const QVariant &value)
{
    automation::guard([&] { m_store->Common_Item(key, value); });
}

void CommonIface::Clear()
{
    automation::guard([&] { m_store->Common_Clear(); });
}
