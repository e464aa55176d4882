#pragma once
// Reading printed PDF files back with poppler-utils (pdfinfo, pdftotext, pdffonts, pdftoppm).

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace pdf {

// Empty when the tools are there, else why not.
inline QString missingTools()
{
    for (const char *tool : { "pdfinfo", "pdftotext", "pdffonts", "pdftoppm" })
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return QStringLiteral("%1 (poppler-utils) is not installed").arg(QLatin1String(tool));
    return {};
}

inline QString run(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

inline int pages(const QString &file)
{
    const auto match = QRegularExpression(
        QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
                           .match(run(QStringLiteral("pdfinfo"), { file }));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// A page's size in points.
inline QSizeF pageSize(const QString &file, int page)
{
    const QString n = QString::number(page);
    const auto match = QRegularExpression(QStringLiteral("size:\\s+([\\d.]+) x ([\\d.]+) pts"))
                           .match(run(QStringLiteral("pdfinfo"),
                               { QStringLiteral("-f"), n, QStringLiteral("-l"), n, file }));
    return match.hasMatch() ? QSizeF(match.captured(1).toDouble(), match.captured(2).toDouble())
                            : QSizeF();
}

// The text of one page (0: all), lines as laid out, trailing blanks and empty lines dropped.
inline QStringList lines(const QString &file, int page = 0)
{
    QStringList arguments { QStringLiteral("-layout") };
    if (page > 0)
        arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
                  << QString::number(page);
    arguments << file << QStringLiteral("-");
    QStringList result;
    for (QString line : run(QStringLiteral("pdftotext"), arguments).split(u'\n')) {
        line.remove(u'\f');
        while (line.endsWith(u' '))
            line.chop(1);
        if (!line.isEmpty())
            result << line;
    }
    return result;
}

// The names of the fonts the file uses ("ABCDEF+DejaVuSansMono" and so on).
inline QStringList fonts(const QString &file)
{
    QStringList names;
    const QStringList rows = run(QStringLiteral("pdffonts"), { file }).split(u'\n');
    for (qsizetype i = 2; i < rows.size(); ++i)
        if (!rows.at(i).trimmed().isEmpty())
            names << rows.at(i).section(u' ', 0, 0);
    return names;
}

// One page drawn at dpi dots per inch.
inline QImage render(const QString &file, int page, int dpi)
{
    QTemporaryDir dir;
    const QString n = QString::number(page);
    const QString prefix = dir.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"),
        { QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"),
            n, QStringLiteral("-l"), n, QStringLiteral("-singlefile"), file, prefix });
    return QImage(prefix + QStringLiteral(".png"));
}

} // namespace pdf
