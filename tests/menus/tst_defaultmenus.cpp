// The default menus made at build time (dfltmain.mnu, dfltsess.mnu and their std copies), and
// pictures of them as the program draws them.

#include "common/testutil.h"
#include "menus/menus.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

namespace {

QString binDir()
{
    const QString dir = qEnvironmentVariable("NORVALIS_BIN_DIR");
    if (!dir.isEmpty())
        return dir;
    // build/<dir>/tests/bin/<test> beside build/<dir>/bin
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../../bin"));
}

QSet<rt::Long> commandsOf(const clsMenu &menu)
{
    QSet<rt::Long> ids;
    for (const MnuBandPtr &band : menu.NewEnum()) {
        for (const MnuToolPtr &tool : band->NewEnum()) {
            if (tool->ControlType() != 5)
                ids.insert(tool->ToolID());
        }
    }
    return ids;
}

QSet<rt::Long> commandsOf(const clsMenu &menu, const QString &band)
{
    QSet<rt::Long> ids;
    for (const MnuToolPtr &tool : menu.MnuBands(band)->NewEnum())
        ids.insert(tool->ToolID());
    return ids;
}

} // namespace

class tst_defaultmenus : public QObject
{
    Q_OBJECT
private slots:
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QList<int>>("commands");
        QTest::addColumn<QStringList>("bands");
        QTest::newRow("main") << "dfltmain.mnu"
                              << "stdmain.mnu"
                              << QList<int> { 101, 103, 108, 109, 110, 113, 400, 405, 501, 502, 503,
                                     504, 513, 514, 704, 705, 1200 }
                              << QStringList { "Menu Bar", "Toolbar" };
        QTest::newRow("session") << "dfltsess.mnu"
                                 << "stdsess.mnu"
                                 << QList<int> { 101, 103, 104, 105, 106, 108, 109, 110, 113, 201,
                                        202, 203, 303, 304, 305, 306, 313, 400, 405, 501, 502, 503,
                                        504, 505, 506, 507, 508, 509, 510, 511, 512, 513, 514, 601,
                                        602, 603, 704, 705, 707, 708, 1101, 1102, 1103, 1104, 1105,
                                        1106, 1107, 1108, 1200 }
                                 << QStringList { "Menu Bar", "Toolbar", "Status Line",
                                        "ContextMenu" };
    }
    void files()
    {
        QFETCH(QString, file);
        QFETCH(QString, copy);
        QFETCH(QList<int>, commands);
        QFETCH(QStringList, bands);
        const QString path = QDir(binDir()).filePath(file);
        QVERIFY2(QFile::exists(path), qPrintable(path + " is missing: build the menufiles target"));
        QCOMPARE(readBytes(QDir(binDir()).filePath(copy)), readBytes(path));

        bar::ActiveBar control;
        clsMenu menu(&control);
        menu.setMenuNo(1);
        menu.Load(path);
        const QSet<rt::Long> present = commandsOf(menu);
        for (int command : commands)
            QVERIFY2(present.contains(command), qPrintable(QString::number(command)));
        for (const QString &band : bands)
            QVERIFY2(menu.MnuBands(band), qPrintable(band));

        for (const MnuBandPtr &band : menu.NewEnum()) {
            QStringList letters; // each item of a menu has a letter of its own
            for (const MnuToolPtr &tool : band->NewEnum()) {
                const qsizetype amp = tool->Caption().indexOf(u'&');
                if (band->BandType() != 0 && band->BandType() != 3 && amp >= 0
                    && amp + 1 < tool->Caption().size()) {
                    const QString letter = tool->Caption().mid(amp + 1, 1).toLower();
                    QVERIFY2(!letters.contains(letter),
                        qPrintable(band->Name() + u": "_qs + tool->Caption()));
                    letters << letter;
                }
                // Every drop-down a tool names is a band of the menu; every picture exists.
                if (!tool->SubBand().isEmpty())
                    QVERIFY2(menu.MnuBands(tool->SubBand()), qPrintable(tool->SubBand()));
                if (tool->ImageNo() != 0 && tool->ImageNo() != 9000)
                    QVERIFY2(bar::hasPicture(tool->ImageNo()), qPrintable(tool->Caption()));
                // Menu items and buttons say what they do.
                if (tool->ControlType() != 5 && band->BandType() != 3)
                    QVERIFY2(!tool->Caption().isEmpty(), qPrintable(band->Name()));
            }
            // Within a menu bar or drop-down, no two entries share a mnemonic letter.
            QHash<QKeySequence, QString> mnemonics;
            for (const MnuToolPtr &tool : band->NewEnum()) {
                const QKeySequence key = QKeySequence::mnemonic(tool->Caption());
                if (key.isEmpty() || band->BandType() == bar::BandNormal
                    || band->BandType() == bar::BandStatusBar)
                    continue;
                QVERIFY2(!mnemonics.contains(key),
                    qPrintable(band->Name() + QStringLiteral(": ") + mnemonics.value(key)
                        + QStringLiteral(" and ") + tool->Caption()));
                mnemonics.insert(key, tool->Caption());
            }
        }
    }

    void sessionStatusLine()
    {
        bar::ActiveBar control;
        clsMenu menu(&control);
        menu.Load(QDir(binDir()).filePath(QStringLiteral("dfltsess.mnu")));
        const QSet<rt::Long> status = commandsOf(menu, QStringLiteral("Status Line"));
        for (rt::Long id = 1101; id <= 1108; ++id)
            QVERIFY2(status.contains(id), qPrintable(QString::number(id)));
        QCOMPARE(
            menu.MnuBands(QStringLiteral("Status Line"))->BandType(), rt::Int(bar::BandStatusBar));
        QCOMPARE(menu.MnuBands(QStringLiteral("Toolbar"))->BandType(), rt::Int(bar::BandNormal));
        QCOMPARE(menu.MnuBands(QStringLiteral("ContextMenu"))->BandType(), rt::Int(bar::BandPopup));
    }

    // Pictures of the two menus as drawn on a window (run through tests/screenshot.sh).
    void screenshot_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("dropDown");
        QTest::newRow("main") << "dfltmain.mnu"
                              << "File";
        QTest::newRow("session") << "dfltsess.mnu"
                                 << "Edit";
    }
    void screenshot()
    {
        QFETCH(QString, file);
        QFETCH(QString, dropDown);
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        QMainWindow window;
        window.setWindowTitle(QStringLiteral("Norvalis - ") + file);
        auto *terminal = new QPlainTextEdit(QStringLiteral("login: "));
        terminal->setStyleSheet(QStringLiteral("background: black; color: #c0c0c0;"));
        window.setCentralWidget(terminal);
        window.resize(860, 420);
        bar::ActiveBar control;
        control.attach(&window);
        Menus menus(&control);
        menus.AddNew(1)->Load(QDir(binDir()).filePath(file));
        // The status line as a session window keeps it (as its emulator reports).
        const MenuPtr menu = menus.item(1);
        menu->SetTool(1101, PropCaption, QStringLiteral("VT220"));
        menu->SetTool(1103, PropCaption, QStringLiteral("Connected"));
        menu->SetTool(1104, PropCaption, QStringLiteral("24,80,1"));
        menu->SetTool(1107, PropCaption, QStringLiteral("1,7,1"));
        menus.setActiveMenu(1);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Tool bars and the status line are laid out by posted events: let them run.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        const QString base = out.chopped(4) + u'-' + QTest::currentDataTag();
        QVERIFY(window.grab().save(base + QStringLiteral(".png")));
        QMenu *popup = control.menuFor(menu->MnuBands(dropDown)->BarBand().get());
        QVERIFY(popup);
        popup->popup(window.mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        QVERIFY(popup->grab().save(base + u'-' + dropDown + QStringLiteral(".png")));
        popup->hide();
        QFile::copy(base + QStringLiteral(".png"), out);
    }
};

QTEST_MAIN(tst_defaultmenus)
#include "tst_defaultmenus.moc"
