#pragma once
// A two-level delimited table: rows of cells kept as one text. Rows are separated by the first
// delimiter and cells by the second. Cells may hold any text: a backslash, the characters of the
// delimiters, CR, LF and TAB are written escaped ("\\", "\r", "\n", "\t", "\u{hex}"), so every
// cell reads back exactly as it was stored. A backslash before any other character is read as
// it stands.
//
// In the text every row ends with the row delimiter, so a table of one empty row ("\r\n") differs
// from an empty table (""); a last row without its delimiter is read all the same. With the
// standard row delimiter CR LF a lone LF or CR also ends a row.

#include "runtime/error.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace bar {

// The global object of the table library: its two standard delimiters.
struct DelimitedTableGlobal
{
    static QString RowDelimiter() { return QStringLiteral("\r\n"); }
    static QString CellDelimiter() { return QStringLiteral("\t"); }
    static QStringList Delimiters() { return { RowDelimiter(), CellDelimiter() }; }
};

class DelimitedTable
{
public:
    // Loads a text with the delimiters (row delimiter first). The two must be non-empty, hold no
    // backslash, share no character and each hold a character that escapes never use (other
    // than r n t u { } and lower-case hex digits); otherwise 5 is raised and the table is left
    // as it was.
    void init(const QString &text, const QStringList &delimiters);

    // Rows and cells count from 1. Setting grows the table as needed; 9 for an index below 1 or
    // beyond a million.
    void setItem(int row, const QString &rowText); // a whole row, in the table's text form
    void setItem(int row, int cell, const QString &value);

    // The whole text; a row in text form; one cell. Missing rows and cells read as empty.
    QString getItem() const;
    QString getItem(int row) const;
    QString getItem(int row, int cell) const;

    // Number of rows; number of cells of a row (0 for a missing row).
    int count() const { return int(m_rows.size()); }
    int count(int row) const;

private:
    static void checkIndex(int index);
    QStringList parseRow(QStringView rowText) const;
    QString rowText(const QStringList &cells) const;
    QString escape(const QString &cell) const;
    QString unescape(QStringView text) const;

    QString m_rowDelimiter = DelimitedTableGlobal::RowDelimiter();
    QString m_cellDelimiter = DelimitedTableGlobal::CellDelimiter();
    QList<QStringList> m_rows;
};

} // namespace bar
