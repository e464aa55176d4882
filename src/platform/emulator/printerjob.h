#pragma once
// One print job of the terminal: the host's print data (or a screen) as lines of text and
// pages, printed through the printer services (print/) when the job closes, on the settings'
// paper, paper source, orientation and font.
//
// Where the job goes: the printer named in the settings; with no name, the system's default
// printer; when there is no such printer (or none at all), a PDF file in the capture directory
// (never elsewhere: without one the job fails), named "norvalis-print-<date>-<time>.pdf",
// written whole or not at all. A paper or source the printer does not offer gives way to the
// printer's own.
//
// A job holds at most maxPages pages and maxLines lines, and prints on at most maxPages sheets:
// what comes after is left out and logged when the job prints, so that no host fills the
// memory, the disk or the printer with one job, and printing it keeps the program responsive.

#include "emulator/hostencoding.h"

#include <QString>
#include <QStringList>

#include <string>

namespace emu {

struct PrintOptions
{
    QString printerName;
    QString fontName; // empty: the system's fixed-pitch font
    int fontSize = 10;
    bool bold = false;
    bool italic = false;
    int orientation = 0; // 1 portrait, 2 landscape, others the printer's own
    int paperSize = 0; // a paper-size code (DMPAPER); 0 the printer's own
    int paperSource = 0; // a paper-source code (DMBIN); 0 the printer's own
    QString pdfDirectory;
    QString title = QStringLiteral("Norvalis");
};

class PrinterJob
{
public:
    // Characters past this column of a line are left out (no paper is that wide).
    static constexpr int maxColumns = 1024;
    static constexpr qsizetype maxPages = 1000;
    static constexpr qsizetype maxLines = 50000;

    explicit PrinterJob(HostEncoding encoding = HostEncoding::Utf8)
        : m_decoder(encoding)
    { }

    // Host print data in the host's encoding (see hostencoding.h): CR returns to the start of the
    // line (later characters overprint it), LF ends the line, FF ends the page, HT moves to the
    // next multiple of 8; escape sequences meant for a printer and other control characters are
    // left out.
    void add(QByteArrayView bytes);
    void addLine(const QString &line);
    void newPage();
    bool isEmpty() const;
    // Lines ended so far, on all pages.
    qsizetype lineCount() const { return m_lines; }
    // The job holds all it can: what comes now is left out.
    bool isFull() const { return m_full; }
    // Characters left out so far.
    qint64 leftOut() const { return m_leftOut; }
    QList<QStringList> pages() const;

    // Prints every page; returns where the job went (the printer's name or the PDF file).
    // Failures raise rt::Error 75 (the PDF file or the printer could not be written).
    QString print(const PrintOptions &options) const;

    // The PDF file a job would go to now (a new name in the directory).
    static QString pdfFileName(const QString &directory);

private:
    void addChar(char32_t c);
    void putChar(char32_t ch);
    QString lineText() const;
    void endLine();

    enum class Escape { None, Esc, Csi };
    QList<QStringList> m_pages { QStringList() };
    std::u32string m_line; // a character per column
    int m_col = 0;
    qsizetype m_lines = 0;
    qint64 m_leftOut = 0;
    bool m_full = false;
    bool m_lineStarted = false;
    Escape m_escape = Escape::None;
    HostDecoder m_decoder;
};

} // namespace emu
