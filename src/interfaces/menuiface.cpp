#include "interfaces/menuiface.h"

#include "runtime/errnum.h"

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <map>

using menuiface::forward;

namespace {

// One adapter per model object while the object lives. Entries are keyed by the objects' control
// blocks (owner order), which stay distinct while an entry holds them, so an object made later at
// the address of a gone one never meets the gone one's adapter.
class AdapterRegistry : public QObject
{
public:
    using Key = std::weak_ptr<const void>;

    static AdapterRegistry &instance()
    {
        static QPointer<AdapterRegistry> registry;
        if (!registry)
            registry = new AdapterRegistry(QCoreApplication::instance());
        return *registry;
    }

    // The adapter of model (nullptr for none), made when it has none.
    template<class Adapter, class Model> Adapter *adapterFor(const std::shared_ptr<Model> &model)
    {
        if (!model)
            return nullptr;
        const Key key = model;
        const auto found = m_adapters.find(key);
        if (found != m_adapters.end() && found->second)
            return static_cast<Adapter *>(found->second.data());
        if (m_adapters.size() >= m_dropAt) {
            dropGone();
            m_dropAt = std::max(2 * m_adapters.size(), MinDropAt);
        }
        // The registry parents its adapters: a script engine never takes one over.
        auto *adapter = new Adapter(model, this);
        m_adapters[key] = adapter;
        return adapter;
    }

private:
    using QObject::QObject;

    // Adapters of gone objects are dropped when the registry has doubled since the last time, so
    // that making an adapter costs the same on average however many there are, and a gone
    // object's adapter stays a while to answer 91. A dropped adapter leaves once the current call
    // is over: a script or client that is using it meets no deleted object.
    void dropGone()
    {
        for (auto it = m_adapters.begin(); it != m_adapters.end();) {
            if (it->first.expired() || !it->second) {
                if (it->second)
                    it->second->deleteLater();
                it = m_adapters.erase(it);
            } else {
                ++it;
            }
        }
    }

    static constexpr size_t MinDropAt = 64;

    std::map<Key, QPointer<QObject>, std::owner_less<Key>> m_adapters;
    size_t m_dropAt = MinDropAt;
};

// The value an adapter passed in stands for: Nothing for nullptr, 13 for another kind of object,
// 91 for an object that has gone.
template<class Value, class Adapter> Value valueOf(QObject *object)
{
    if (!object)
        return Value();
    const auto *adapter = qobject_cast<const Adapter *>(object);
    if (!adapter)
        rt::raise(rt::err::TypeMismatch);
    Value value(adapter->object());
    if (value.isNothing())
        rt::raise(rt::err::ObjectNotSet);
    return value;
}

template<class Value, class Model> std::vector<Value> values(const std::vector<Model> &models)
{
    return std::vector<Value>(models.begin(), models.end());
}

template<class Adapter, class Model> QVariantList adapters(const std::vector<Model> &models)
{
    QVariantList list;
    list.reserve(qsizetype(models.size()));
    for (const Model &model : models)
        list << QVariant::fromValue<QObject *>(Adapter::of(model));
    return list;
}

} // namespace

// MnuBand

MnuTool MnuBand::AddNew(rt::Long toolId)
{
    return MnuTool(forward(m_band, [&](clsMnuBand &band) { return band.AddNew(toolId); }));
}
MnuTool MnuBand::MnuTools(const QVariant &index) const
{
    return MnuTool(forward(m_band, [&](clsMnuBand &band) { return band.MnuTools(index); }));
}
void MnuBand::Insert(const MnuTool &tool, rt::Long afterToolId)
{
    forward(m_band, [&](clsMnuBand &band) { band.Insert(tool.object(), afterToolId); });
}
std::vector<MnuTool> MnuBand::NewEnum() const
{
    return values<MnuTool>(forward(m_band, [](clsMnuBand &band) { return band.NewEnum(); }));
}

// Menu

std::vector<MnuBand> Menu::NewEnum() const
{
    return values<MnuBand>(forward(m_menu, [](clsMenu &menu) { return menu.NewEnum(); }));
}
MnuBand Menu::MnuBands(const QVariant &key) const
{
    return MnuBand(forward(m_menu, [&](clsMenu &menu) { return menu.MnuBands(key); }));
}
MnuBand Menu::AddNew(const QString &name)
{
    return MnuBand(forward(m_menu, [&](clsMenu &menu) { return menu.AddNew(name); }));
}

// MenuIface

MenuIface *MenuIface::of(const MenuPtr &menu)
{
    return AdapterRegistry::instance().adapterFor<MenuIface>(menu);
}

Menu MenuIface::menuOf(QObject *object)
{
    return valueOf<Menu, MenuIface>(object);
}

MenuIface::MenuIface(const MenuPtr &menu, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
{ }

QVariantList MenuIface::NewEnum() const
{
    return forward(object(), [](clsMenu &menu) { return adapters<MnuBandIface>(menu.NewEnum()); });
}
QObject *MenuIface::MnuBands(const QVariant &vntKey) const
{
    return forward(object(),
        [&](clsMenu &menu) -> QObject * { return MnuBandIface::of(menu.MnuBands(vntKey)); });
}
QObject *MenuIface::AddNew(const QString &strName)
{
    return forward(object(),
        [&](clsMenu &menu) -> QObject * { return MnuBandIface::of(menu.AddNew(strName)); });
}

// MnuBandIface

MnuBandIface *MnuBandIface::of(const MnuBandPtr &band)
{
    return AdapterRegistry::instance().adapterFor<MnuBandIface>(band);
}

MnuBandIface::MnuBandIface(const MnuBandPtr &band, QObject *parent)
    : QObject(parent)
    , m_band(band)
{ }

QObject *MnuBandIface::AddNew(rt::Long lngToolID)
{
    return forward(object(),
        [&](clsMnuBand &band) -> QObject * { return MnuToolIface::of(band.AddNew(lngToolID)); });
}
QObject *MnuBandIface::MnuTools(const QVariant &Index) const
{
    return forward(object(),
        [&](clsMnuBand &band) -> QObject * { return MnuToolIface::of(band.MnuTools(Index)); });
}
void MnuBandIface::Insert(QObject *mnuTool, rt::Long lngAfterToolID)
{
    forward(object(), [&](clsMnuBand &band) {
        band.Insert(MnuToolIface::toolOf(mnuTool).object(), lngAfterToolID);
    });
}
QVariantList MnuBandIface::NewEnum() const
{
    return forward(
        object(), [](clsMnuBand &band) { return adapters<MnuToolIface>(band.NewEnum()); });
}

// MnuToolIface

MnuToolIface *MnuToolIface::of(const MnuToolPtr &tool)
{
    return AdapterRegistry::instance().adapterFor<MnuToolIface>(tool);
}

MnuTool MnuToolIface::toolOf(QObject *object)
{
    return valueOf<MnuTool, MnuToolIface>(object);
}

MnuToolIface::MnuToolIface(const MnuToolPtr &tool, QObject *parent)
    : QObject(parent)
    , m_tool(tool)
{ }
