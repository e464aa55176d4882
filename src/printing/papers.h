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

class Papers
{
public:
    rt::Long Count() const;
    const Paper *item(const QVariant &index) const;
    void LoadPapers(const QString &strPtrName, const QString &strPortName);

    // For Each (nothing before the first load).
    rt::Collection<Paper>::const_iterator begin() const;
    rt::Collection<Paper>::const_iterator end() const;

private:
    std::optional<rt::Collection<Paper>> m_papers;
};

class Bins
{
public:
    rt::Long Count() const;
    const Bin *item(const QVariant &index) const;
    void LoadBins(const QString &strPtrName, const QString &strPortName);

    rt::Collection<Bin>::const_iterator begin() const;
    rt::Collection<Bin>::const_iterator end() const;

private:
    std::optional<rt::Collection<Bin>> m_bins;
};
