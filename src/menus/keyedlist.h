#pragma once
// The ordered, keyed collection that holds menus, bands and tools: keys compare without case,
// positions count from 1, a missing item raises 5 and a duplicate key 457.

#include "runtime/error.h"
#include "runtime/values.h"

#include <QString>
#include <QVariant>
#include <utility>
#include <vector>

template<class T> class KeyedList
{
public:
    int count() const { return int(m_items.size()); }
    bool isEmpty() const { return m_items.empty(); }

    // Position (from 0) of key, -1 when absent.
    int indexOf(const QString &key) const
    {
        for (size_t i = 0; i < m_items.size(); ++i) {
            if (m_items[i].first.compare(key, Qt::CaseInsensitive) == 0)
                return int(i);
        }
        return -1;
    }
    bool contains(const QString &key) const { return indexOf(key) >= 0; }

    // Adds value under key at position index0 (from 0; past the end appends). 457 for a key that
    // is already there.
    void insert(int index0, const QString &key, T value)
    {
        if (contains(key))
            rt::raise(457);
        if (index0 < 0 || index0 > count())
            index0 = count();
        m_items.insert(m_items.begin() + index0, { key, std::move(value) });
    }
    void add(const QString &key, T value) { insert(count(), key, std::move(value)); }

    // The entry for a key (a text) or a 1-based position (a number); 5 when there is none.
    int indexOf(const QVariant &index) const
    {
        int i = -1;
        if (isKey(index)) {
            i = indexOf(index.toString());
        } else {
            const rt::Long position = rt::CLng(index);
            if (position >= 1 && position <= count())
                i = int(position - 1);
        }
        if (i < 0)
            rt::raise(5);
        return i;
    }
    const T &item(const QVariant &index) const { return m_items[size_t(indexOf(index))].second; }
    const T &at(int index0) const { return m_items.at(size_t(index0)).second; }
    const QString &keyAt(int index0) const { return m_items.at(size_t(index0)).first; }

    void remove(const QVariant &index) { removeAt(indexOf(index)); }
    void removeAt(int index0) { m_items.erase(m_items.begin() + index0); }

    // A copy of the values in order, safe to walk while the list changes.
    std::vector<T> values() const
    {
        std::vector<T> v;
        v.reserve(m_items.size());
        for (const auto &entry : m_items)
            v.push_back(entry.second);
        return v;
    }

private:
    static bool isKey(const QVariant &index)
    {
        const int type = index.typeId();
        return type == QMetaType::QString || type == QMetaType::QByteArray
            || type == QMetaType::QChar;
    }

    std::vector<std::pair<QString, T>> m_items;
};
