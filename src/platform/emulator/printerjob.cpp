#include "emulator/printerjob.h"

#include "emulator/emulog.h"
#include "print/device.h"
#include "runtime/errnum.h"
#include "runtime/error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>

#include <algorithm>
#include <optional>

namespace emu {

void PrinterJob::add(QByteArrayView bytes)
{
    m_decoder.decode(bytes, [this](char32_t c) { addChar(c); });
}

void PrinterJob::addChar(char32_t c)
{
    if (m_full) {
        ++m_leftOut;
        return;
    }
    if (m_escape == Escape::Esc) {
        // ESC [ starts a control sequence; intermediates (0x20-0x2F) go on to a final byte.
        if (c == '[')
            m_escape = Escape::Csi;
        else if (c < 0x20 || c > 0x2F)
            m_escape = Escape::None;
        return;
    }
    if (m_escape == Escape::Csi) {
        if (c >= 0x40 && c <= 0x7E)
            m_escape = Escape::None;
        return;
    }
    switch (c) {
    case 0x1B:
        m_escape = Escape::Esc;
        break;
    case '\r':
        m_col = 0;
        break;
    case '\n':
        endLine();
        break;
    case '\f':
        newPage();
        break;
    case '\t':
        for (const int next = std::min((m_col / 8 + 1) * 8, maxColumns); m_col < next;)
            putChar(U' ');
        break;
    default:
        if ((c >= 0x20 && c < 0x7F) || c >= 0xA0)
            putChar(c);
        break;
    }
}

void PrinterJob::putChar(char32_t ch)
{
    if (m_col >= maxColumns)
        return;
    if (size_t(m_col) < m_line.size())
        m_line[size_t(m_col)] = ch;
    else
        m_line.append(size_t(m_col) - m_line.size(), U' ').push_back(ch);
    ++m_col;
    m_lineStarted = true;
}

QString PrinterJob::lineText() const
{
    return QString::fromUcs4(m_line.data(), qsizetype(m_line.size()));
}

void PrinterJob::endLine()
{
    m_pages.last() << lineText();
    m_line.clear();
    m_col = 0;
    m_lineStarted = false;
    if (++m_lines >= maxLines)
        m_full = true;
}

void PrinterJob::addLine(const QString &line)
{
    if (m_lineStarted)
        endLine();
    if (m_full) {
        m_leftOut += line.size();
        return;
    }
    m_pages.last() << line;
    if (++m_lines >= maxLines)
        m_full = true;
}

void PrinterJob::newPage()
{
    if (m_lineStarted)
        endLine();
    if (m_pages.size() >= maxPages)
        m_full = true;
    else if (!m_full)
        m_pages << QStringList();
}

QList<QStringList> PrinterJob::pages() const
{
    QList<QStringList> pages = m_pages;
    if (m_lineStarted)
        pages.last() << lineText();
    while (pages.size() > 1 && pages.last().isEmpty())
        pages.removeLast();
    return pages;
}

bool PrinterJob::isEmpty() const
{
    const QList<QStringList> all = pages();
    return all.size() == 1 && all.first().isEmpty();
}

QString PrinterJob::pdfFileName(const QString &directory)
{
    const QDir dir(directory);
    const QString stem = QStringLiteral("norvalis-print-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString name = dir.filePath(stem + QStringLiteral(".pdf"));
    for (int n = 1; QFile::exists(name); ++n)
        name = dir.filePath(stem + u'-' + QString::number(n) + QStringLiteral(".pdf"));
    return name;
}

QString PrinterJob::print(const PrintOptions &options) const
{
    // The member function hides the namespace's name here.
    namespace pr = ::print;
    pr::Failure failure;
    const QString name = options.printerName.isEmpty() ? pr::defaultPrinter() : options.printerName;
    std::optional<pr::PrinterInfo> printer;
    if (!name.isEmpty())
        printer = pr::openPrinter(name, failure);
    if (!printer) {
        // Into the capture folder only: nowhere else is the user looking for them.
        const QString directory = options.pdfDirectory;
        if (directory.isEmpty() || !QFileInfo(directory).isDir())
            rt::raise(rt::err::PathFileAccess,
                QStringLiteral("no printer, and no capture folder for a PDF file"));
        printer = pr::pdfPrinter(QStringLiteral("PDF"), pdfFileName(directory));
    }
    const QString target = printer->pdfFile.isEmpty() ? printer->entry.name : printer->pdfFile;

    pr::DeviceMode mode = pr::defaultMode(*printer);
    if (options.orientation == pr::Portrait || options.orientation == pr::Landscape)
        mode.orientation = pr::Id(options.orientation);
    if (printer->paper(pr::Id(options.paperSize)))
        mode.paperSize = pr::Id(options.paperSize);
    if (printer->bin(pr::Id(options.paperSource)))
        mode.defaultSource = pr::Id(options.paperSource);
    pr::DeviceContext dc(*printer, mode);
    const QString face = options.fontName.isEmpty()
        ? QFontDatabase::systemFont(QFontDatabase::FixedFont).family()
        : options.fontName;
    const int points = options.fontSize > 0 ? options.fontSize : 10;
    dc.selectFont({ -qRound(points * dc.logPixelsY() / 72.0), options.bold ? 700 : 400,
        options.italic, face });

    const int lineHeight = std::max(1, dc.textExtent(QStringLiteral("A")).height());
    const int linesPerPage = std::max(1, dc.vertRes() / lineHeight);
    dc.startDoc(options.title);
    qsizetype sheets = 0;
    qsizetype sheetsLeftOut = 0;
    for (const QStringList &page : pages()) {
        // A page longer than the paper goes on over as many sheets as it needs.
        qsizetype start = 0;
        do {
            const qsizetype end = std::min(page.size(), start + linesPerPage);
            if (sheets < maxPages) {
                ++sheets;
                dc.startPage();
                for (qsizetype i = start; i < end; ++i)
                    dc.textOut(0, int(i - start) * lineHeight, page.at(i));
                dc.endPage();
            } else {
                ++sheetsLeftOut;
            }
            start = end;
        } while (start < page.size());
    }
    if (m_leftOut > 0 || sheetsLeftOut > 0)
        qCInfo(lcEmulator) << "print job cut at" << maxPages << "pages," << maxLines
                           << "lines:" << m_leftOut << "characters and" << sheetsLeftOut
                           << "sheets left out";
    if (!dc.endDoc(failure))
        rt::raise(rt::err::PathFileAccess,
            QStringLiteral("The print job for \"%1\" failed: %2").arg(target, failure.text));
    return target;
}

} // namespace emu
