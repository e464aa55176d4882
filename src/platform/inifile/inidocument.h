#pragma once
// One INI file as its lines: each line is kept as its bytes and its own line ending, with what it
// means (section header, key, comment or anything else) beside it, and an index of the sections
// and keys for lookups. Edits touch only the lines they concern, so every other line is written
// back byte for byte.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace inifile {

class IniDocument
{
public:
    enum class Edit { Refused, Unchanged, Changed };

    // Splits at LF, CR LF or CR; the first line ending found becomes the file's own (LF when the
    // file has none). A UTF-8 byte-order mark is kept.
    static IniDocument parse(const QByteArray &bytes);
    QByteArray serialize() const;
    // False for bytes that are not 8-bit text (a UTF-16 or UTF-32 byte-order mark, a NUL byte):
    // lines written into such a file would be in another encoding than the file's own.
    bool isText() const { return m_text; }

    // The first key of that name in any block of the section, trimmed and unquoted; nullopt when
    // missing or empty.
    std::optional<QString> value(const QString &section, const QString &key) const;
    bool hasSection(const QString &section) const { return findSection(section); }
    // True also for a key present with an empty value.
    bool hasKey(const QString &section, const QString &key) const;
    // Refused for a value holding CR or LF and for names that would not read back as written.
    Edit setValue(const QString &section, const QString &key, const QString &value);
    Edit removeKey(const QString &section, const QString &key);
    Edit removeSection(const QString &section);
    // Names with the spelling of their first appearance, in file order, each once.
    QStringList sections() const;
    QStringList keys(const QString &section) const;

private:
    enum class Kind { Other, Blank, Comment, Section, Key };
    struct Line
    {
        QByteArray raw; // without its line ending
        QByteArray eol; // "\n", "\r\n", "\r" or "" for an unterminated last line
        Kind kind = Kind::Other;
        QString name; // section or key name, trimmed
        QString folded; // the name as names compare
        // Where the key's value lies in raw, trimmed and unquoted; decoded only when asked for.
        qsizetype valueBegin = 0;
        qsizetype valueEnd = 0;
    };
    struct Block
    {
        int header = 0;
        int lastKey = 0; // the header itself when the block has no keys
    };
    struct Section
    {
        QString name;
        QList<Block> blocks;
        QHash<QString, int> firstKey; // folded key name -> line
        QStringList keyOrder;
    };

    static Line classify(QByteArray raw, QByteArray eol);
    static QString fold(const QString &name) { return name.toCaseFolded(); }
    void reindex();
    const Section *findSection(const QString &section) const;
    int appendPosition(const Block &block) const;
    void insertLine(int at, const QByteArray &raw);
    void removeMarked(const QList<bool> &drop);
    void appendSection(const QString &section, const QByteArray &keyLine);

    QByteArray m_bom;
    QByteArray m_eol = "\n";
    bool m_text = true;
    QList<Line> m_lines;
    QHash<QString, Section> m_sections; // folded name -> section
    QStringList m_sectionOrder;
};

} // namespace inifile
