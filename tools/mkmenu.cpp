// Build-time tool: turns a menu in text form into menu files.
//
//   mkmenu <menu text> <menu file> [<menu file> ...]
//
// The text is the menu text form (rows of TAB-separated cells); lines starting with "#" and empty
// lines are comments and left out. Each menu file is written whole and read back as a check.

#include "app/msgbox.h"
#include "menus/menu.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <cstdio>

namespace {

QString menuText(const QByteArray &source)
{
    QStringList rows;
    for (const QString &line : QString::fromUtf8(source).split(u'\n')) {
        const QString row = line.endsWith(u'\r') ? line.chopped(1) : line;
        if (row.isEmpty() || row.startsWith(u'#'))
            continue;
        rows.append(row);
    }
    return rows.join(QStringLiteral("\r\n"));
}

int fail(const QString &message)
{
    std::fprintf(stderr, "mkmenu: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // The menu model needs no screen: the toolbar control is not drawn here.
    QCoreApplication app(argc, argv);
    // A build has nobody to answer a message: it goes to the build log.
    frmMsgBox::setAnswerHook([](const QString &prompt, rt::Int) {
        std::fprintf(stderr, "mkmenu: %s\n", qPrintable(prompt));
        return rt::Int(1);
    });
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return fail(QStringLiteral("usage: mkmenu <menu text> <menu file> [<menu file> ...]"));

    QFile source(args[1]);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read %1").arg(args[1]));

    try {
        bar::ActiveBar control;
        clsMenu menu(&control);
        menu.setMenuText(menuText(source.readAll()));
        if (menu.Count() == 0)
            return fail(QStringLiteral("%1 holds no band").arg(args[1]));
        for (qsizetype i = 2; i < args.size(); ++i) {
            QFile::remove(args[i]);
            menu.Save(args[i]);
            clsMenu check(&control);
            check.setMenuNo(1);
            check.Load(args[i]);
            if (check.Count() != menu.Count())
                return fail(QStringLiteral("%1 does not read back").arg(args[i]));
        }
    } catch (const rt::Error &e) {
        return fail(
            QStringLiteral("%1: error %2: %3").arg(args[1]).arg(e.number).arg(e.description));
    }
    return 0;
}
