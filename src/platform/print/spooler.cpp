#include "print/spooler.h"

#include "print/printlog.h"
#include "runtime/errnum.h"
#include "runtime/wholefile.h"

#include <QHash>
#include <QLocale>

#include <cups/cups.h>

#include <algorithm>
#include <memory>

namespace print {

namespace {

// A service that is not running refuses at once; one that does not answer is given up on.
constexpr int ConnectTimeoutMs = 3000;
constexpr double ReplyTimeoutSeconds = 15;

struct HttpClose
{
    void operator()(http_t *http) const { httpClose(http); }
};
using Http = std::unique_ptr<http_t, HttpClose>;

struct IppDelete
{
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};
using Ipp = std::unique_ptr<ipp_t, IppDelete>;

// What the service tells of one queue.
struct Queue
{
    QString name;
    QString makeAndModel;
    QString deviceUri;
    QStringList media;
    QString mediaDefault;
    QStringList sources;
    QString sourceDefault;
    int orientation = 0; // IPP: 3 portrait, 4 landscape, 5 reverse landscape, 6 reverse portrait
    int dpi = 0;
    double margins[4] = {}; // left, top, right, bottom in millimetres
};

const char *const ListAttributes[] = { "printer-name", "printer-make-and-model", "device-uri" };
const char *const AllAttributes[] = { "printer-name", "printer-make-and-model", "device-uri",
    "media-supported", "media-default", "media-source-supported", "media-source-default",
    "orientation-requested-default", "printer-resolution-default", "media-left-margin-supported",
    "media-top-margin-supported", "media-right-margin-supported", "media-bottom-margin-supported" };

QString serverName()
{
    return QString::fromUtf8(cupsServer());
}

Failure unreachable()
{
    return { rt::err::SpoolerUnavailable,
        QStringLiteral("The print service at %1 is not running").arg(serverName()) };
}

Http connectService(Failure &failure)
{
    Http http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
        ConnectTimeoutMs, nullptr));
    if (!http) {
        failure = unreachable();
        qCDebug(lcPrint) << failure.text;
        return http;
    }
    httpSetTimeout(http.get(), ReplyTimeoutSeconds, nullptr, nullptr);
    return http;
}

QStringList strings(ipp_attribute_t *attr)
{
    QStringList values;
    for (int i = 0; i < ippGetCount(attr); ++i)
        values << QString::fromUtf8(ippGetString(attr, i, nullptr));
    return values;
}

void readAttribute(Queue &queue, ipp_attribute_t *attr)
{
    const QByteArray name = ippGetName(attr);
    const auto text = [attr] { return QString::fromUtf8(ippGetString(attr, 0, nullptr)); };
    if (name == "printer-name")
        queue.name = text();
    else if (name == "printer-make-and-model")
        queue.makeAndModel = text();
    else if (name == "device-uri")
        queue.deviceUri = text();
    else if (name == "media-supported")
        queue.media = strings(attr);
    else if (name == "media-default")
        queue.mediaDefault = text();
    else if (name == "media-source-supported")
        queue.sources = strings(attr);
    else if (name == "media-source-default")
        queue.sourceDefault = text();
    else if (name == "orientation-requested-default" && ippGetValueTag(attr) == IPP_TAG_ENUM)
        queue.orientation = ippGetInteger(attr, 0);
    else if (name == "printer-resolution-default") {
        int yres = 0;
        ipp_res_t units = IPP_RES_PER_INCH;
        const int xres = ippGetResolution(attr, 0, &yres, &units);
        queue.dpi = units == IPP_RES_PER_CM ? qRound(xres * 2.54) : xres;
    } else if (name.startsWith("media-") && name.endsWith("-margin-supported")) {
        static const QByteArray sides[] = { "left", "top", "right", "bottom" };
        for (int i = 0; i < 4; ++i)
            if (name == "media-" + sides[i] + "-margin-supported")
                queue.margins[i] = ippGetInteger(attr, 0) / 100.0;
    }
}

// The queues with the attributes asked for; nullopt when the service cannot be asked.
template<size_t N>
std::optional<QList<Queue>> queryQueues(const char *const (&attributes)[N], Failure &failure)
{
    Http http = connectService(failure);
    if (!http)
        return std::nullopt;
    ipp_t *request = ippNewRequest(IPP_OP_CUPS_GET_PRINTERS);
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", int(N),
        nullptr, attributes);
    const Ipp response(cupsDoRequest(http.get(), request, "/"));
    // No queues at all is "not found": an empty list, not a failure.
    if (!response && cupsLastError() != IPP_STATUS_ERROR_NOT_FOUND) {
        failure = { rt::err::SpoolerUnavailable,
            QStringLiteral("The print service at %1 does not answer: %2")
                .arg(serverName(), QString::fromUtf8(cupsLastErrorString())) };
        qCDebug(lcPrint) << failure.text;
        return std::nullopt;
    }
    // Each queue is one group of printer attributes; separators end a group.
    QList<Queue> queues;
    bool inGroup = false;
    for (ipp_attribute_t *attr = response ? ippFirstAttribute(response.get()) : nullptr; attr;
         attr = ippNextAttribute(response.get())) {
        if (ippGetGroupTag(attr) != IPP_TAG_PRINTER || !ippGetName(attr)) {
            inGroup = false;
            continue;
        }
        if (!inGroup)
            queues.append(Queue());
        inGroup = true;
        readAttribute(queues.last(), attr);
    }
    return queues;
}

QHash<QString, PrinterInfo> &pdfPrinters()
{
    static QHash<QString, PrinterInfo> printers;
    return printers;
}

Id localeDefaultPaper()
{
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? 1 : 9;
}

Media standardMedia(Id id)
{
    const QString pwg = paperPwg(id);
    return { id, paperName(id, pwg), pwg, pwgSize(pwg) };
}

// A custom size range ("custom_min_...", "custom_max_...") is not a paper.
bool isSizeRange(const QString &pwg)
{
    return pwg.startsWith(QLatin1String("custom_min_"))
        || pwg.startsWith(QLatin1String("custom_max_"));
}

PrinterInfo infoOf(const Queue &queue)
{
    PrinterInfo info;
    info.entry = { queue.name, queue.makeAndModel, queue.deviceUri };
    CodeBook &book = CodeBook::of(queue.name);
    for (const QString &pwg : queue.media) {
        const QSizeF size = pwgSize(pwg);
        const Id id = isSizeRange(pwg) || size.isEmpty() ? 0 : book.paperId(pwg);
        if (id != 0)
            info.papers.append({ id, paperName(id, pwg), pwg, size });
    }
    for (const QString &keyword : queue.sources) {
        if (const Id id = book.binId(keyword))
            info.bins.append({ id, binName(id, keyword), keyword });
    }
    const auto paperOf = [&info](Id id) { return info.paper(id) ? id : Id(0); };
    if (!queue.mediaDefault.isEmpty() && !isSizeRange(queue.mediaDefault))
        info.defaultPaper = paperOf(book.paperId(queue.mediaDefault));
    if (info.defaultPaper == 0)
        info.defaultPaper = paperOf(localeDefaultPaper());
    if (info.defaultPaper == 0 && !info.papers.isEmpty())
        info.defaultPaper = info.papers.first().id;
    if (!queue.sourceDefault.isEmpty()) {
        const Id id = book.binId(queue.sourceDefault);
        info.defaultBin = info.bin(id) ? id : Id(0);
    }
    info.defaultOrientation
        = queue.orientation == 4 || queue.orientation == 5 ? Landscape : Portrait;
    if (queue.dpi > 0)
        info.resolution = queue.dpi;
    info.margins
        = QMarginsF(queue.margins[0], queue.margins[1], queue.margins[2], queue.margins[3]);
    return info;
}

qint32 writePdf(const PrinterInfo &printer, const QByteArray &pdf, Failure &failure)
{
    static qint32 jobs = 0;
    const rt::WriteResult written = rt::writeWholeFile(printer.pdfFile, pdf);
    if (!written) {
        failure = { rt::err::DeviceIO, written.reason };
        qCDebug(lcPrint) << failure.text;
        return 0;
    }
    return ++jobs;
}

Failure refused(const PrinterInfo &printer)
{
    const bool gone = cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND;
    return { gone ? rt::err::InvalidPrinterName : rt::err::DeviceIO,
        QStringLiteral("The print service did not take the job for %1: %2")
            .arg(printer.entry.name, QString::fromUtf8(cupsLastErrorString())) };
}

// The document in one request, in slices the connection takes at a time.
bool sendDocument(
    http_t *http, const QByteArray &name, int job, const QString &title, const QByteArray &pdf)
{
    constexpr qsizetype Slice = 64 * 1024;
    if (cupsStartDocument(
            http, name.constData(), job, title.toUtf8().constData(), CUPS_FORMAT_PDF, 1)
        != HTTP_STATUS_CONTINUE)
        return false;
    bool sent = true;
    for (qsizetype at = 0; sent && at < pdf.size(); at += Slice)
        sent = cupsWriteRequestData(
                   http, pdf.constData() + at, size_t(std::min(Slice, pdf.size() - at)))
            == HTTP_STATUS_CONTINUE;
    const ipp_status_t finished = cupsFinishDocument(http, name.constData());
    return sent && finished <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

} // namespace

const Media *PrinterInfo::paper(Id id) const
{
    for (const Media &media : papers)
        if (media.id == id)
            return &media;
    return nullptr;
}

const Source *PrinterInfo::bin(Id id) const
{
    for (const Source &source : bins)
        if (source.id == id)
            return &source;
    return nullptr;
}

QList<PrinterEntry> printers(Failure *failure)
{
    QList<PrinterEntry> entries;
    Failure ignored;
    if (const auto queues = queryQueues(ListAttributes, failure ? *failure : ignored)) {
        for (const Queue &queue : *queues)
            entries.append({ queue.name, queue.makeAndModel, queue.deviceUri });
    }
    for (const PrinterInfo &pdf : std::as_const(pdfPrinters()))
        entries.append(pdf.entry);
    return entries;
}

QString defaultPrinter()
{
    Failure failure;
    const Http http = connectService(failure);
    if (!http)
        return {};
    return QString::fromUtf8(cupsGetDefault2(http.get()));
}

std::optional<PrinterInfo> openPrinter(const QString &name, Failure &failure)
{
    const auto pdf = pdfPrinters().constFind(name.toLower());
    if (pdf != pdfPrinters().constEnd())
        return *pdf;
    const auto queues = queryQueues(AllAttributes, failure);
    if (!queues)
        return std::nullopt;
    for (const Queue &queue : *queues)
        if (!name.isEmpty() && queue.name.compare(name, Qt::CaseInsensitive) == 0)
            return infoOf(queue);
    failure = { rt::err::InvalidPrinterName,
        QStringLiteral("There is no printer named \"%1\"").arg(name) };
    qCDebug(lcPrint) << failure.text;
    return std::nullopt;
}

PrinterInfo pdfPrinter(const QString &name, const QString &file)
{
    PrinterInfo info;
    info.entry = { name, QStringLiteral("PDF"), file };
    for (const Id id : { 1, 3, 5, 7, 8, 9, 11, 13, 20, 27, 28 })
        info.papers.append(standardMedia(id));
    info.defaultPaper = localeDefaultPaper();
    info.resolution = 1200;
    info.pdfFile = file;
    return info;
}

void addPdfPrinter(const PrinterInfo &printer)
{
    pdfPrinters().insert(printer.entry.name.toLower(), printer);
}

void removePdfPrinter(const QString &name)
{
    pdfPrinters().remove(name.toLower());
}

qint32 submitJob(const PrinterInfo &printer, const QString &title, const QByteArray &pdf, Id paper,
    Id bin, Failure &failure)
{
    if (!printer.pdfFile.isEmpty())
        return writePdf(printer, pdf, failure);
    const Http http = connectService(failure);
    if (!http)
        return 0;
    cups_option_t *options = nullptr;
    int count = 0;
    if (const Media *media = printer.paper(paper))
        count = cupsAddOption("media", media->pwg.toUtf8().constData(), count, &options);
    if (const Source *source = printer.bin(bin))
        count
            = cupsAddOption("media-source", source->keyword.toUtf8().constData(), count, &options);
    const QByteArray name = printer.entry.name.toUtf8();
    const int job
        = cupsCreateJob(http.get(), name.constData(), title.toUtf8().constData(), count, options);
    cupsFreeOptions(count, options);
    if (job > 0 && sendDocument(http.get(), name, job, title, pdf))
        return job;
    failure = refused(printer);
    qCDebug(lcPrint) << failure.text;
    if (job > 0)
        cupsCancelJob2(http.get(), name.constData(), job, 0);
    return 0;
}

} // namespace print
