#include "printing/papers.h"

#include "print/printlog.h"
#include "print/spooler.h"

namespace {

// The entry of a collection at a position or key, nullptr when there is none.
template<class T> const T *lookUp(const std::optional<rt::Collection<T>> &entries,
    const QVariant &index)
{
    if (!entries)
        return nullptr;
    if (index.typeId() == QMetaType::QString) {
        const rt::Long at = entries->indexOf(index.toString());
        return at > 0 ? &entries->Item(at) : nullptr;
    }
    if (!rt::IsNumeric(index))
        return nullptr;
    const double at = index.toDouble();
    if (at < 1 || at >= entries->Count() + 1)
        return nullptr;
    return &entries->Item(rt::CLng(at));
}

template<class T> const rt::Collection<T> &orEmpty(const std::optional<rt::Collection<T>> &entries)
{
    static const rt::Collection<T> none;
    return entries ? *entries : none;
}

// The printer's media or sources; nothing when it cannot be opened.
std::optional<print::PrinterInfo> capabilities(const QString &printer)
{
    print::Failure failure;
    auto info = print::openPrinter(printer, failure);
    if (!info)
        qCDebug(print::lcPrint) << "No papers or bins for" << printer << "-" << failure.text;
    return info;
}

bool takes(const QString &name, rt::Int id, const QString &key, const QString &printer,
    bool taken)
{
    if (name.isEmpty() || id < 1)
        return false;
    if (taken)
        qCDebug(print::lcPrint) << printer << "offers identifier" << key << "twice:" << name
                                << "left out";
    return !taken;
}

} // namespace

rt::Long Papers::Count() const
{
    return m_papers ? m_papers->Count() : 0;
}

const Paper *Papers::item(const QVariant &index) const
{
    return lookUp(m_papers, index);
}

rt::Collection<Paper>::const_iterator Papers::begin() const
{
    return orEmpty(m_papers).begin();
}

rt::Collection<Paper>::const_iterator Papers::end() const
{
    return orEmpty(m_papers).end();
}

void Papers::LoadPapers(const QString &strPtrName, const QString &strPortName)
{
    Q_UNUSED(strPortName); // the print service finds a printer by its name alone
    const auto printer = capabilities(strPtrName);
    if (!printer || printer->papers.isEmpty())
        return;
    rt::Collection<Paper> papers;
    for (const print::Media &media : printer->papers) {
        const QString key = QString::number(media.id);
        if (!takes(media.name, media.id, key, strPtrName, papers.Exists(key)))
            continue;
        // Before the first entry whose name sorts after this one.
        QVariant before;
        for (rt::Long i = 1; i <= papers.Count() && !before.isValid(); ++i)
            if (papers.Item(i).PaperName.compare(media.name, Qt::CaseInsensitive) > 0)
                before = i;
        papers.Add(Paper { media.id, media.name }, key, before);
    }
    m_papers = std::move(papers);
}

rt::Long Bins::Count() const
{
    return m_bins ? m_bins->Count() : 0;
}

const Bin *Bins::item(const QVariant &index) const
{
    return lookUp(m_bins, index);
}

rt::Collection<Bin>::const_iterator Bins::begin() const
{
    return orEmpty(m_bins).begin();
}

rt::Collection<Bin>::const_iterator Bins::end() const
{
    return orEmpty(m_bins).end();
}

void Bins::LoadBins(const QString &strPtrName, const QString &strPortName)
{
    Q_UNUSED(strPortName);
    const auto printer = capabilities(strPtrName);
    if (!printer || printer->bins.isEmpty())
        return;
    rt::Collection<Bin> bins;
    for (const print::Source &source : printer->bins) {
        const QString key = QString::number(source.id);
        if (takes(source.name, source.id, key, strPtrName, bins.Exists(key)))
            bins.Add(Bin { source.id, source.name }, key);
    }
    m_bins = std::move(bins);
}
