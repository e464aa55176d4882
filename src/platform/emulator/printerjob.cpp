#include "emulator/printerjob.h"

#include "runtime/errnum.h"
#include "runtime/error.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

namespace emu {

void PrinterJob::add(const QByteArray &bytes)
{
    for (const char byte : bytes) {
        const uchar c = uchar(byte);
        if (m_escape == Escape::Esc) {
            // ESC [ starts a control sequence; intermediates (0x20-0x2F) go on to a final byte.
            if (c == '[')
                m_escape = Escape::Csi;
            else if (c < 0x20 || c > 0x2F)
                m_escape = Escape::None;
            continue;
        }
        if (m_escape == Escape::Csi) {
            if (c >= 0x40 && c <= 0x7E)
                m_escape = Escape::None;
            continue;
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
                putChar(u' ');
            break;
        default:
            if ((c >= 0x20 && c < 0x7F) || c >= 0xA0)
                putChar(QChar(c));
            break;
        }
    }
}

void PrinterJob::putChar(QChar ch)
{
    if (m_col >= maxColumns)
        return;
    if (m_col < m_line.size())
        m_line[m_col] = ch;
    else
        m_line += QString(m_col - m_line.size(), u' ') + ch;
    ++m_col;
    m_lineStarted = true;
}

void PrinterJob::endLine()
{
    m_pages.last() << m_line;
    ++m_lines;
    m_line.clear();
    m_col = 0;
    m_lineStarted = false;
}

void PrinterJob::addLine(const QString &line)
{
    if (m_lineStarted)
        endLine();
    m_pages.last() << line;
    ++m_lines;
}

void PrinterJob::newPage()
{
    if (m_lineStarted)
        endLine();
    m_pages << QStringList();
}

QList<QStringList> PrinterJob::pages() const
{
    QList<QStringList> pages = m_pages;
    if (m_lineStarted)
        pages.last() << m_line;
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
    const QPrinterInfo info = options.printerName.isEmpty()
        ? QPrinterInfo::defaultPrinter()
        : QPrinterInfo::printerInfo(options.printerName);
    QPrinter printer(QPrinter::HighResolution);
    QString target;
    QString pdfTemp;
    if (!info.isNull()) {
        printer.setPrinterName(info.printerName());
        target = info.printerName();
    } else {
        QString directory = options.pdfDirectory;
        if (directory.isEmpty() || !QDir(directory).exists())
            directory = QDir::homePath();
        target = pdfFileName(directory);
        pdfTemp = target + QStringLiteral(".part");
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfTemp);
    }
    printer.setDocName(options.title);
    printer.setPageOrientation(options.landscape ? QPageLayout::Landscape : QPageLayout::Portrait);

    QFont font = options.fontName.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                            : QFont(options.fontName);
    font.setPointSize(options.fontSize > 0 ? options.fontSize : 10);
    font.setBold(options.bold);
    font.setItalic(options.italic);

    QPainter painter;
    if (!painter.begin(&printer)) {
        QFile::remove(pdfTemp);
        rt::raise(rt::err::PathFileAccess,
            QStringLiteral("The printer \"%1\" cannot be opened").arg(target));
    }
    painter.setFont(font);
    const QFontMetrics metrics(font, &printer);
    const int lineHeight = std::max(1, metrics.lineSpacing());
    const int pageHeight = printer.pageLayout().paintRectPixels(printer.resolution()).height();
    const int linesPerPage = std::max(1, pageHeight / lineHeight);
    bool firstSheet = true;
    for (const QStringList &page : pages()) {
        // A page longer than the paper goes on over as many sheets as it needs.
        qsizetype start = 0;
        do {
            if (!firstSheet)
                printer.newPage();
            firstSheet = false;
            const qsizetype end = std::min(page.size(), start + linesPerPage);
            for (qsizetype i = start; i < end; ++i)
                painter.drawText(0, int(i - start) * lineHeight + metrics.ascent(), page.at(i));
            start = end;
        } while (start < page.size());
    }
    if (!painter.end()) {
        QFile::remove(pdfTemp);
        rt::raise(
            rt::err::PathFileAccess, QStringLiteral("The print job for \"%1\" failed").arg(target));
    }
    if (!pdfTemp.isEmpty() && !QFile::rename(pdfTemp, target)) {
        QFile::remove(pdfTemp);
        rt::raise(rt::err::PathFileAccess,
            QStringLiteral("The file \"%1\" cannot be written").arg(target));
    }
    return target;
}

} // namespace emu
