#include "runtime/resstrings.h"

#include <QFile>
#include <QHash>

namespace rt {

namespace {

QString &tableFile()
{
    static QString path = QStringLiteral(":/strings/strings.tsv");
    return path;
}

QString unescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar n = text.at(++i);
            out += n == u'n' ? QChar(u'\n') : n == u't' ? QChar(u'\t') : n;
        } else {
            out += c;
        }
    }
    return out;
}

QHash<Long, QString> &table()
{
    static QHash<Long, QString> strings;
    static QString loadedFrom;
    if (loadedFrom != tableFile()) {
        loadedFrom = tableFile();
        strings.clear();
        QFile f(loadedFrom);
        if (f.open(QIODevice::ReadOnly)) {
            const QString all = QString::fromUtf8(f.readAll());
            for (QStringView line : QStringView(all).split(u'\n')) {
                if (line.endsWith(u'\r'))
                    line.chop(1);
                const qsizetype tab = line.indexOf(u'\t');
                if (tab <= 0 || line.startsWith(u'#'))
                    continue;
                bool ok = false;
                const Long id = line.left(tab).toInt(&ok);
                if (ok)
                    strings.insert(id, unescape(line.mid(tab + 1)));
            }
        }
    }
    return strings;
}

} // namespace

std::optional<QString> findResString(Long id)
{
    auto it = table().constFind(id);
    if (it == table().constEnd())
        return std::nullopt;
    return *it;
}

QString LoadResString(Long id)
{
    if (auto s = findResString(id))
        return *s;
    raise(err::ResourceNotFound, QStringLiteral("Resource with identifier '%1' not found").arg(id));
}

void setStringTableFile(const QString &path)
{
    tableFile() = path.isEmpty() ? QStringLiteral(":/strings/strings.tsv") : path;
}

} // namespace rt
