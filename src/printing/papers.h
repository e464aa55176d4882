#pragma once
// The paper sizes (Papers) and paper sources (Bins) of a printer, each with the identifier the
// printer's settings take (its paper-size or paper-source code) and the printer's name for it.
//
// A collection is empty until its first load; a load replaces it whole. Bins keep the printer's
// order; Papers are sorted by name without case (an equal name goes after the ones before it).
// Entries without a name or with an identifier below 1 are left out, and so is a second entry
// for an identifier already taken (printers often offer two sizes of one code): the rest still
// loads. A printer that cannot be opened, or that offers nothing, leaves the collection as it was.
// item() answers an entry by 1-based position or by key (the identifier in decimal), and nothing
// when there is none.

#include "runtime/collection.h"
#include "runtime/values.h"

#include <QString>
#include <QVariant>
#include <optional>

struct Paper
{
    rt::Int PaperIndex = 0;
    QString PaperName;
};

struct Bin
{
    rt::Int BinIndex = 0;
    QString BinName;
};

// What the two collections share: the entries, counted and found.
template<class T> class PrinterEntries
{
public:
    rt::Long Count() const { return m_entries ? m_entries->Count() : 0; }
    const T *item(const QVariant &index) const;
    // For Each (nothing before the first load).
    typename rt::Collection<T>::const_iterator begin() const { return all().begin(); }
    typename rt::Collection<T>::const_iterator end() const { return all().end(); }

protected:
    const rt::Collection<T> &all() const
    {
        static const rt::Collection<T> none;
        return m_entries ? *m_entries : none;
    }

    std::optional<rt::Collection<T>> m_entries;
};

template<class T> const T *PrinterEntries<T>::item(const QVariant &index) const
{
    if (!m_entries)
        return nullptr;
    if (index.typeId() == QMetaType::QString) {
        const rt::Long at = m_entries->indexOf(index.toString());
        return at > 0 ? &m_entries->Item(at) : nullptr;
    }
    if (!rt::IsNumeric(index))
        return nullptr;
    const double at = index.toDouble();
    if (at < 1 || at >= m_entries->Count() + 1)
        return nullptr;
    return &m_entries->Item(rt::CLng(at));
}

class Papers : public PrinterEntries<Paper>
{
public:
    void LoadPapers(const QString &strPtrName, const QString &strPortName);
};

class Bins : public PrinterEntries<Bin>
{
public:
    void LoadBins(const QString &strPtrName, const QString &strPortName);
};
