#include "printing/papers.h"

#include "print/printlog.h"
#include "print/spooler.h"

namespace {

// The printer's media or sources; nothing when it cannot be opened.
std::optional<print::PrinterInfo> capabilities(const QString &printer)
{
    print::Failure failure;
    auto info = print::openPrinter(printer, failure);
    if (!info)
        qCDebug(print::lcPrint) << "No papers or bins for" << printer << "-" << failure.text;
    return info;
}

// Whether an entry goes in: it has a name, an identifier of 1 or more, and one not taken yet.
bool takes(const QString &name, rt::Int id, const QString &key, const QString &printer, bool taken)
{
    if (name.isEmpty() || id < 1)
        return false;
    if (taken)
        qCDebug(print::lcPrint) << printer << "offers identifier" << key << "twice:" << name
                                << "left out";
    return !taken;
}

} // namespace

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
    m_entries = std::move(papers);
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
    m_entries = std::move(bins);
}
