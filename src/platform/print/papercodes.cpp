#include "print/papercodes.h"

#include <QStringList>

#include <cups/cups.h>

#include <cmath>
#include <limits>

namespace print {

namespace {

// The common paper codes that a print service can offer: codes for rotated ("transverse") sizes
// and for second names of one size (Letter Small, A4 Small, Note, 11x17) are left out, since a
// printer's media list never needs them.
constexpr PaperCode PaperTable[] = {
    { 1, "na_letter_8.5x11in", "Letter" },
    { 3, "na_ledger_11x17in", "Tabloid" },
    { 5, "na_legal_8.5x14in", "Legal" },
    { 6, "na_invoice_5.5x8.5in", "Statement" },
    { 7, "na_executive_7.25x10.5in", "Executive" },
    { 8, "iso_a3_297x420mm", "A3" },
    { 9, "iso_a4_210x297mm", "A4" },
    { 11, "iso_a5_148x210mm", "A5" },
    { 12, "jis_b4_257x364mm", "B4 (JIS)" },
    { 13, "jis_b5_182x257mm", "B5 (JIS)" },
    { 14, "na_foolscap_8.5x13in", "Folio" },
    { 15, "na_quarto_8.5x10.83in", "Quarto" },
    { 16, "na_10x14_10x14in", "10x14" },
    { 19, "na_number-9_3.875x8.875in", "Envelope #9" },
    { 20, "na_number-10_4.125x9.5in", "Envelope #10" },
    { 21, "na_number-11_4.5x10.375in", "Envelope #11" },
    { 22, "na_number-12_4.75x11in", "Envelope #12" },
    { 23, "na_number-14_5x11.5in", "Envelope #14" },
    { 24, "na_c_17x22in", "C size sheet" },
    { 25, "na_d_22x34in", "D size sheet" },
    { 26, "na_e_34x44in", "E size sheet" },
    { 27, "iso_dl_110x220mm", "Envelope DL" },
    { 28, "iso_c5_162x229mm", "Envelope C5" },
    { 29, "iso_c3_324x458mm", "Envelope C3" },
    { 30, "iso_c4_229x324mm", "Envelope C4" },
    { 31, "iso_c6_114x162mm", "Envelope C6" },
    { 32, "iso_c6c5_114x229mm", "Envelope C65" },
    { 34, "iso_b5_176x250mm", "Envelope B5" },
    { 35, "iso_b6_125x176mm", "Envelope B6" },
    { 36, "om_italian_110x230mm", "Envelope" },
    { 37, "na_monarch_3.875x7.5in", "Envelope Monarch" },
    { 38, "na_personal_3.625x6.5in", "6 3/4 Envelope" },
    { 39, "na_fanfold-us_11x14.875in", "US Std Fanfold" },
    { 40, "na_fanfold-eur_8.5x12in", "German Std Fanfold" },
    { 42, "iso_b4_250x353mm", "B4 (ISO)" },
    { 43, "jpn_hagaki_100x148mm", "Japanese Postcard" },
    { 44, "na_9x11_9x11in", "9x11" },
    { 45, "na_10x11_10x11in", "10x11" },
    { 46, "na_11x15_11x15in", "15x11" },
    { 47, "om_invite_220x220mm", "Envelope Invite" },
    { 50, "na_letter-extra_9.5x12in", "Letter Extra" },
    { 51, "na_legal-extra_9.5x15in", "Legal Extra" },
    { 53, "iso_a4-extra_235.5x322.3mm", "A4 Extra" },
    { 57, "na_super-a_8.94x14in", "Super A" },
    { 59, "na_letter-plus_8.5x12.69in", "Letter Plus" },
    { 60, "om_folio_210x330mm", "A4 Plus" },
    { 63, "iso_a3-extra_322x445mm", "A3 Extra" },
    { 64, "iso_a5-extra_174x235mm", "A5 Extra" },
    { 65, "iso_b5-extra_201x276mm", "B5 (ISO) Extra" },
    { 66, "iso_a2_420x594mm", "A2" },
    { 69, "jpn_oufuku_148x200mm", "Japanese Double Postcard" },
    { 70, "iso_a6_105x148mm", "A6" },
    { 71, "jpn_kaku2_240x332mm", "Japanese Envelope Kaku #2" },
    { 72, "jpn_kaku3_216x277mm", "Japanese Envelope Kaku #3" },
    { 73, "jpn_chou3_120x235mm", "Japanese Envelope Chou #3" },
    { 74, "jpn_chou4_90x205mm", "Japanese Envelope Chou #4" },
    { 83, "jis_b6_128x182mm", "B6 (JIS)" },
    { 85, "na_11x12_11x12in", "12x11" },
    { 86, "jpn_you4_105x235mm", "Japanese Envelope You #4" },
    { 88, "prc_16k_146x215mm", "PRC 16K" },
    { 89, "prc_32k_97x151mm", "PRC 32K" },
    { 91, "prc_1_102x165mm", "PRC Envelope #1" },
    { 92, "prc_2_102x176mm", "PRC Envelope #2" },
    { 93, "prc_3_125x176mm", "PRC Envelope #3" },
    { 94, "prc_4_110x208mm", "PRC Envelope #4" },
    { 95, "prc_5_110x220mm", "PRC Envelope #5" },
    { 96, "prc_6_120x230mm", "PRC Envelope #6" },
    { 97, "prc_7_160x230mm", "PRC Envelope #7" },
    { 98, "prc_8_120x309mm", "PRC Envelope #8" },
    { 100, "prc_10_324x458mm", "PRC Envelope #10" },
};

constexpr BinCode BinTable[] = {
    { 1, "top", "Upper" },
    { 2, "bottom", "Lower" },
    { 3, "middle", "Middle" },
    { 4, "manual", "Manual Feed" },
    { 5, "envelope", "Envelope" },
    { 6, "", "Envelope Manual Feed" },
    { 7, "auto", "Automatically Select" },
    { 8, "", "Tractor Feed" },
    { 9, "", "Small Format" },
    { 10, "", "Large Format" },
    { 11, "large-capacity", "Large Capacity" },
    { 14, "", "Cassette" },
    { 15, "", "Form Source" },
};

// Sizes that a driver gives in points differ from the millimetre sizes by a fraction of one.
constexpr double SizeToleranceMm = 1.0;

bool sameSize(const QSizeF &a, const QSizeF &b)
{
    return std::abs(a.width() - b.width()) <= SizeToleranceMm
        && std::abs(a.height() - b.height()) <= SizeToleranceMm;
}

// "16x20in" as "16 x 20 in".
QString sizeText(const QString &size)
{
    QString text = size;
    for (const QLatin1String unit : { QLatin1String("mm"), QLatin1String("in") }) {
        if (text.endsWith(unit)) {
            text.chop(unit.size());
            return text.replace(u'x', QStringLiteral(" x ")) + u' ' + unit;
        }
    }
    return text;
}

// Words of a keyword with capitals: "by-pass-tray" is "By Pass Tray".
QString capitalised(const QString &keyword)
{
    QStringList words = keyword.split(u'-', Qt::SkipEmptyParts);
    for (QString &word : words)
        word[0] = word[0].toUpper();
    return words.join(u' ');
}

} // namespace

std::span<const PaperCode> paperCodes()
{
    return PaperTable;
}

std::span<const BinCode> binCodes()
{
    return BinTable;
}

QSizeF pwgSize(const QString &pwg)
{
    const pwg_media_t *media = pwgMediaForPWG(pwg.toUtf8().constData());
    if (!media || media->width <= 0 || media->length <= 0)
        return {};
    return QSizeF(media->width / 100.0, media->length / 100.0);
}

Id standardPaperId(const QString &pwg)
{
    for (const PaperCode &code : PaperTable)
        if (pwg == QLatin1String(code.pwg))
            return code.id;
    const QSizeF size = pwgSize(pwg);
    if (size.isEmpty())
        return 0;
    for (const PaperCode &code : PaperTable)
        if (sameSize(size, pwgSize(QLatin1String(code.pwg))))
            return code.id;
    return 0;
}

QString paperPwg(Id id)
{
    for (const PaperCode &code : PaperTable)
        if (code.id == id)
            return QLatin1String(code.pwg);
    return {};
}

QString paperName(Id id, const QString &pwg)
{
    for (const PaperCode &code : PaperTable)
        if (code.id == id)
            return QLatin1String(code.name);
    // class_name_size: the size alone for a custom one, the name for the others.
    const QStringList parts = pwg.split(u'_');
    if (parts.size() < 3)
        return pwg;
    const QString &family = parts.first();
    const QString name = parts.mid(1, parts.size() - 2).join(u'_');
    if (family == QLatin1String("custom"))
        return sizeText(parts.last());
    if (family == QLatin1String("iso"))
        return name.toUpper();
    if (family == QLatin1String("jis"))
        return name.toUpper() + QStringLiteral(" (JIS)");
    return capitalised(name);
}

Id standardBinId(const QString &keyword)
{
    if (keyword.isEmpty())
        return 0;
    for (const BinCode &code : BinTable)
        if (keyword == QLatin1String(code.keyword))
            return code.id;
    return 0;
}

QString binName(Id id, const QString &keyword)
{
    for (const BinCode &code : BinTable)
        if (code.id == id)
            return QLatin1String(code.name);
    return capitalised(keyword);
}

CodeBook &CodeBook::of(const QString &printer)
{
    static QHash<QString, CodeBook> books;
    return books[printer.toLower()];
}

Id CodeBook::paperId(const QString &pwg)
{
    if (const Id standard = standardPaperId(pwg))
        return standard;
    return privateId(m_papers, m_nextPaper, pwg);
}

Id CodeBook::binId(const QString &keyword)
{
    if (const Id standard = standardBinId(keyword))
        return standard;
    return privateId(m_bins, m_nextBin, keyword);
}

Id CodeBook::privateId(QHash<QString, Id> &given, Id &next, const QString &name)
{
    const auto it = given.constFind(name);
    if (it != given.constEnd())
        return *it;
    if (next == std::numeric_limits<Id>::max())
        return 0;
    given.insert(name, next);
    return next++;
}

} // namespace print
