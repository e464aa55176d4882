#pragma once
// A keyed collection: items counted from 1, each with an optional string key that is unique and
// compared without case. A missing item (index out of 1..Count, unknown key) raises 5; adding a
// key that is already there raises 457 and leaves the collection as it was.
//
// Positions and indexes are given as a Variant like the design's own calls: a number is an index
// (rounded), a string is a key, Empty is "not given". Callers with their own rules for numeric
// indexes (another error number, an index base other than 1) check them before calling.

#include "runtime/errnum.h"
#include "runtime/error.h"
#include "runtime/values.h"

#include <QList>
#include <QString>
#include <QVariant>
#include <vector>

namespace rt {

template<class T> class Collection
{
    struct Entry
    {
        T item;
        QString key;
    };

public:
    Long Count() const { return Long(m_entries.size()); }

    // Adds an item at the end, or before / after the item a position names (at most one of
    // them may be given: 5 otherwise). An empty key means no key.
    void Add(T item, const QString &key = QString(), const QVariant &before = QVariant(),
        const QVariant &after = QVariant())
    {
        if (before.isValid() && after.isValid())
            raise(err::InvalidCall);
        if (!key.isEmpty() && find(key) >= 0)
            raise(err::DuplicateKey);
        qsizetype at = m_entries.size();
        if (before.isValid())
            at = position(before);
        else if (after.isValid())
            at = position(after) + 1;
        m_entries.insert(at, Entry { std::move(item), key });
    }

    void Remove(const QVariant &index) { m_entries.removeAt(position(index)); }
    void Remove(Long index) { Remove(QVariant(index)); }
    void Remove(const QString &key) { Remove(QVariant(key)); }

    T &Item(const QVariant &index) { return m_entries[position(index)].item; }
    const T &Item(const QVariant &index) const { return m_entries.at(position(index)).item; }
    T &Item(Long index) { return Item(QVariant(index)); }
    const T &Item(Long index) const { return Item(QVariant(index)); }
    T &Item(const QString &key) { return Item(QVariant(key)); }
    const T &Item(const QString &key) const { return Item(QVariant(key)); }
    T &operator[](const QVariant &index) { return Item(index); }

    bool Exists(const QString &key) const { return !key.isEmpty() && find(key) >= 0; }
    // The key of the item at a 1-based index (empty when it has none).
    QString keyAt(Long index) const { return m_entries.at(position(QVariant(index))).key; }
    // The 1-based index of the item with a key (0 when there is none).
    Long indexOf(const QString &key) const { return Long(find(key) + 1); }
    void Clear() { m_entries.clear(); }
    // A copy of the items in order, safe to walk while the collection changes.
    std::vector<T> items() const
    {
        std::vector<T> copy;
        copy.reserve(size_t(m_entries.size()));
        for (const Entry &entry : m_entries)
            copy.push_back(entry.item);
        return copy;
    }

    // For Each: items in order.
    class const_iterator
    {
    public:
        using Inner = typename QList<Entry>::const_iterator;
        explicit const_iterator(Inner it)
            : m_it(it)
        { }
        const T &operator*() const { return m_it->item; }
        const_iterator &operator++()
        {
            ++m_it;
            return *this;
        }
        bool operator!=(const const_iterator &other) const { return m_it != other.m_it; }

    private:
        Inner m_it;
    };
    const_iterator begin() const { return const_iterator(m_entries.cbegin()); }
    const_iterator end() const { return const_iterator(m_entries.cend()); }

private:
    static bool sameKey(const QString &a, const QString &b)
    {
        return a.compare(b, Qt::CaseInsensitive) == 0;
    }

    qsizetype find(const QString &key) const
    {
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            if (!m_entries.at(i).key.isEmpty() && sameKey(m_entries.at(i).key, key))
                return i;
        }
        return -1;
    }

    // The 0-based position of an existing item named by index or key; 5 when there is none.
    qsizetype position(const QVariant &index) const
    {
        if (index.typeId() == QMetaType::QString) {
            const qsizetype at = index.toString().isEmpty() ? -1 : find(index.toString());
            if (at < 0)
                raise(err::InvalidCall);
            return at;
        }
        if (!index.isValid())
            raise(err::InvalidCall);
        const Long n = CLng(index);
        if (n < 1 || n > Count())
            raise(err::InvalidCall);
        return n - 1;
    }

    QList<Entry> m_entries;
};

} // namespace rt
