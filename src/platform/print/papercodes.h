#pragma once
// Paper and bin identifiers: the paper-size codes (DMPAPER) and paper-source codes (DMBIN) that
// the program keeps in its settings, and their PWG names, the names the print service gives its
// media ("iso_a4_210x297mm") and media sources ("top", "manual").
//
// A printer's media size maps to the standard code of the same PWG name, else to the first
// standard code whose paper has the same size (within 1 mm; sizes a driver gives in points come
// out a little off). A size or source without a standard code gets one from a private range
// above the standard ones: papers from 257 (256 stands for a user-defined size), bins from 256.
// The private codes of a printer are handed out in the order its media are first seen and are
// kept for the life of the process, so a code stays valid while the program runs.

#include <QHash>
#include <QSizeF>
#include <QString>
#include <QtGlobal>
#include <span>

namespace print {

using Id = qint16;

struct PaperCode
{
    Id id;
    const char *pwg;
    const char *name;
};

struct BinCode
{
    Id id;
    const char *keyword; // empty: no PWG source stands for it
    const char *name;
};

constexpr Id FirstPrivatePaper = 257;
constexpr Id FirstPrivateBin = 256;

// The standard codes, by code.
std::span<const PaperCode> paperCodes();
std::span<const BinCode> binCodes();

// The portrait size of a PWG media name in millimetres; empty when the name is not one.
QSizeF pwgSize(const QString &pwg);

// The standard code of a PWG media name (see above); 0 when none.
Id standardPaperId(const QString &pwg);
// The PWG name of a standard paper code; empty when the code is not in the table.
QString paperPwg(Id id);
// The display name of a paper: the table's name for a standard code, else one made from the PWG
// name ("custom_16x20in_16x20in" is "16 x 20 in", "iso_sra4_225x320mm" is "SRA4").
QString paperName(Id id, const QString &pwg);

// The standard code of a PWG media-source keyword; 0 when none.
Id standardBinId(const QString &keyword);
// The table's name for a standard code, else one made from the keyword ("tray-3" is "Tray 3").
QString binName(Id id, const QString &keyword);

// The codes of one printer's media and sources.
class CodeBook
{
public:
    // The book of a printer (names without case), made on first use.
    static CodeBook &of(const QString &printer);

    // 0 when the private range is used up.
    Id paperId(const QString &pwg);
    Id binId(const QString &keyword);

private:
    // The code given to a name before, else the next free one.
    static Id privateId(QHash<QString, Id> &given, Id &next, const QString &name);

    QHash<QString, Id> m_papers;
    QHash<QString, Id> m_bins;
    Id m_nextPaper = FirstPrivatePaper;
    Id m_nextBin = FirstPrivateBin;
};

} // namespace print
