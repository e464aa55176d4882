#include "session/orderedlist.h"

#include "runtime/values.h"

#include <algorithm>

namespace {
constexpr const char *kModule = "ordlst";
}

OrderedList::OrderedList()
{
    rt::Proc h(kModule, "Class_Initialize");
    h([&] { m_keys.resize(1); });
}

void OrderedList::Reset()
{
    rt::Proc h(kModule, "Reset");
    h([&] { m_keys.resize(1); });
    h([&] { m_count = 0; });
}

void OrderedList::Add(rt::Int key)
{
    rt::Proc h(kModule, "add");
    h([&] { m_count = rt::AddInt(m_count, 1); });
    h([&] {
        m_keys.resize(size_t(m_count));
        rt::Int *keys = m_keys.data();
        std::move_backward(keys, keys + m_count - 1, keys + m_count);
        keys[0] = key;
    });
    h([&] { m_cursor = 0; });
}

void OrderedList::Remove(rt::Int key)
{
    rt::Proc h(kModule, "Remove");
    h([&] {
        const rt::Int at = find(key);
        if (at < 0)
            return;
        rt::Int *keys = m_keys.data();
        std::move(keys + at + 1, keys + m_count, keys + at);
        --m_count;
    });
}

rt::Int OrderedList::NextKey()
{
    rt::Int result = -1;
    rt::Proc h(kModule, "NextKey");
    h([&] {
        if (m_count == 0)
            return;
        ++m_cursor;
        if (m_cursor >= m_count)
            m_cursor = 0;
        result = m_keys.at(size_t(m_cursor));
    });
    return result;
}

void OrderedList::SetTop(rt::Int key)
{
    rt::Proc h(kModule, "SetTop");
    h([&] {
        const rt::Int at = find(key);
        if (at < 0)
            return;
        rt::Int *keys = m_keys.data();
        std::move_backward(keys, keys + at, keys + at + 1);
        keys[0] = key;
        m_cursor = 0;
    });
}

rt::Int OrderedList::find(rt::Int key) const
{
    const rt::Int *keys = m_keys.data();
    const rt::Int *end = keys + m_count;
    const rt::Int *it = std::find(keys, end, key);
    return it == end ? rt::Int(-1) : rt::Int(it - keys);
}
