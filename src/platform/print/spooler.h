#pragma once
// The spooler: the installed printers, their media, media sources and defaults, and the sending
// of finished documents. Printers are the print service's (CUPS) queues and the PDF printers that
// this process installs; a PDF printer's jobs replace one file, written whole or not at all.
//
// The print service is the one libcups finds (CUPS_SERVER, client.conf, the local socket). Every
// call connects on its own with short time limits: a service that is not running answers at once
// with SpoolerUnavailable, and one that does not answer gives up within seconds; nothing waits for
// a spooler indefinitely. Failures come back as the numbers the program knows for them
// (rt::err::SpoolerUnavailable, rt::err::InvalidPrinterName, rt::err::DeviceIO) with a sentence.

#include "print/papercodes.h"

#include <QList>
#include <QMarginsF>
#include <QSizeF>
#include <QString>
#include <optional>

namespace print {

struct Failure
{
    qint32 code = 0;
    QString text;
};

// One of a printer's paper sizes; size in millimetres, portrait.
struct Media
{
    Id id = 0;
    QString name;
    QString pwg;
    QSizeF size;
};

// One of a printer's paper sources.
struct Source
{
    Id id = 0;
    QString name;
    QString keyword;
};

// Orientation codes of the device mode.
constexpr Id Portrait = 1;
constexpr Id Landscape = 2;

struct PrinterEntry
{
    QString name;
    QString driver; // the make and model
    QString port; // where the jobs go (the device URI; the file of a PDF printer)
};

struct PrinterInfo
{
    PrinterEntry entry;
    QList<Media> papers; // in the printer's own order
    QList<Source> bins;
    Id defaultPaper = 0; // 0 when the printer offers no paper at all
    Id defaultBin = 0; // 0 when the printer names none
    Id defaultOrientation = Portrait;
    int resolution = 300; // dots per inch
    QMarginsF margins; // millimetres the printer cannot print on
    QString pdfFile; // a PDF printer: the file its jobs replace

    const Media *paper(Id id) const;
    const Source *bin(Id id) const;
};

// The installed printers: the service's queues in its order, then the PDF printers. Without a
// service the PDF printers alone, and failure says why.
QList<PrinterEntry> printers(Failure *failure = nullptr);
// The service's default printer (the user's choice first, as lpoptions keeps it); empty when
// there is none or no service.
QString defaultPrinter();
// A printer by its name (without case) with its media, sources and defaults.
std::optional<PrinterInfo> openPrinter(const QString &name, Failure &failure);

// A PDF printer whose jobs replace file: the common paper sizes (A4 by default, Letter where the
// system's locale measures in US units), no paper sources, 1200 dots per inch, no margins.
PrinterInfo pdfPrinter(const QString &name, const QString &file);
// Installs a PDF printer for this process (replacing one of the same name); the print service
// never sees it.
void addPdfPrinter(const PrinterInfo &printer);
void removePdfPrinter(const QString &name);

// Sends a finished PDF document to a printer, on the paper and from the source given (0: the
// printer's own choice), under a title. Returns the job's number, 0 on failure (a job the service
// took in part is cancelled).
qint32 submitJob(const PrinterInfo &printer, const QString &title, const QByteArray &pdf, Id paper,
    Id bin, Failure &failure);

} // namespace print
