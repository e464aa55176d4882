#include "commondlg/helpwindow.h"

#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QStringList Chapters = { u"Getting started"_qs, u"Sessions and settings"_qs,
    u"Layouts and recent files"_qs, u"Capture and file transfers"_qs, u"Dialing"_qs,
    u"Printing"_qs, u"Automation"_qs };

// The guide as the build placed it beside the program.
QString guide()
{
    return qEnvironmentVariable("NORVALIS_BIN_DIR") + u"/nvwin2k.html"_qs;
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class tst_helpwindow : public QObject
{
    Q_OBJECT

    commondlg::HelpWindow *open(const QString &file = guide())
    {
        commondlg::showHelp(nullptr, file);
        commondlg::HelpWindow *window = commondlg::HelpWindow::current();
        if (window && !QTest::qWaitForWindowExposed(window))
            qWarning("the help window was not exposed");
        return window;
    }

private slots:
    void cleanup()
    {
        commondlg::showHelp(nullptr, QString(), commondlg::HelpCommand::Quit);
        QTRY_VERIFY(!commondlg::HelpWindow::current());
    }

    // The guide is beside the program, and its chapters make the contents.
    void contents()
    {
        QVERIFY2(QFileInfo(guide()).isFile(), qPrintable(guide()));
        commondlg::HelpWindow *window = open();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), u"Norvalis Help"_qs);
        QStringList chapters;
        for (const QString &title : window->visibleSections()) {
            if (!title.startsWith(u' '))
                chapters << title;
        }
        QCOMPARE(chapters, Chapters);
        QCOMPARE(window->tvContents->topLevelItemCount(), Chapters.size());
    }

    // Choosing a section in the contents shows it at the top of the text.
    void goToSection_data()
    {
        QTest::addColumn<QString>("title");
        for (const char *title :
            { "Automation", "Scripts", "Host programs", "Dialing", "The settings dialog" })
            QTest::newRow(title) << QString::fromUtf8(title);
    }
    void goToSection()
    {
        QFETCH(QString, title);
        commondlg::HelpWindow *window = open();
        QList<QTreeWidgetItem *> items
            = window->tvContents->findItems(title, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(items.size(), 1);
        window->tvContents->setCurrentItem(items.first());
        QCOMPARE(window->sectionShown(), title);
        // Its heading is on screen.
        const QRect heading = window->txtTopic->cursorRect();
        QVERIFY(window->txtTopic->viewport()->rect().contains(heading));
    }

    // A dialog's help shows the section of its topic (an anchor of the guide); a topic the guide
    // lacks leaves the window where it was.
    void topic_data()
    {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QString>("section");
        QTest::newRow("capture") << u"capture"_qs << u"Capture"_qs;
        QTest::newRow("transfers") << u"transfers"_qs << u"Uploads and downloads"_qs;
        QTest::newRow("dialing") << u"dialing"_qs << u"Dialing"_qs;
        QTest::newRow("settings, Connection")
            << u"settings-connection"_qs << u"The settings dialog"_qs;
        QTest::newRow("settings, Program") << u"settings-program"_qs << u"The settings dialog"_qs;
        QTest::newRow("settings, Transfer")
            << u"settings-transfer"_qs << u"Uploads and downloads"_qs;
        QTest::newRow("settings, Mouse") << u"settings-mouse"_qs << u"Mouse tables"_qs;
        QTest::newRow("settings, Printer") << u"settings-printer"_qs << u"Printing"_qs;
        QTest::newRow("unknown") << u"no-such-topic"_qs << u"Getting started"_qs;
    }
    void topic()
    {
        QFETCH(QString, topic);
        QFETCH(QString, section);
        commondlg::showHelp(nullptr, guide(), commondlg::HelpCommand::Context, topic);
        commondlg::HelpWindow *window = commondlg::HelpWindow::current();
        QVERIFY(window && QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->sectionShown(), section);
        QVERIFY(window->txtTopic->viewport()->rect().contains(window->txtTopic->cursorRect()));
        // Escape closes it, as it closes a dialog.
        QTest::keyClick(window->txtTopic, Qt::Key_Escape);
        QTRY_VERIFY(!commondlg::HelpWindow::current());
    }

    // The search keeps the sections that hold every word, and their chapters.
    void search_data()
    {
        QTest::addColumn<QString>("words");
        QTest::addColumn<QStringList>("sections");
        QTest::addColumn<QString>("first"); // the section Enter shows
        QTest::newRow("nothing") << QString() << QStringList() << QString();
        QTest::newRow("phone book")
            << u"phone book"_qs
            << QStringList { u"Sessions and settings"_qs, u"  The settings dialog"_qs,
                   u"Dialing"_qs }
            << u"The settings dialog"_qs;
        QTest::newRow("any case") << u"WAITFOR"_qs
                                  << QStringList { u"Automation"_qs, u"  Scripts"_qs }
                                  << u"Scripts"_qs;
        QTest::newRow("words anywhere in a section")
            << u"base64 server-start"_qs
            << QStringList { u"Automation"_qs, u"  Host programs"_qs } << u"Host programs"_qs;
        QTest::newRow("no such word") << u"frobnicate"_qs << QStringList { QString() }
                                      << QString();
    }
    void search()
    {
        QFETCH(QString, words);
        QFETCH(QStringList, sections);
        QFETCH(QString, first);
        commondlg::HelpWindow *window = open();
        const QStringList all = window->visibleSections();
        QTest::keyClicks(window->txtSearch, words);
        const QStringList shown = window->visibleSections();
        if (sections.isEmpty())
            QCOMPARE(shown, all);
        else if (sections == QStringList { QString() })
            QCOMPARE(shown, QStringList());
        else
            QCOMPARE(shown, sections);
        // Enter shows the first section that holds the words.
        if (!first.isEmpty()) {
            QTest::keyClick(window->txtSearch, Qt::Key_Return);
            QCOMPARE(window->sectionShown(), first);
            QVERIFY(!window->txtTopic->extraSelections().isEmpty());
        }
        window->txtSearch->clear();
        QCOMPARE(window->visibleSections(), all);
        QVERIFY(window->txtTopic->extraSelections().isEmpty());
    }

    // One window: asking again raises it; a missing file is named in it.
    void oneWindow()
    {
        commondlg::HelpWindow *window = open();
        QCOMPARE(open(), window);
        QCOMPARE(window->helpFile(), guide());
        const QString missing = QDir::temp().filePath(u"no-such-help.html"_qs);
        QCOMPARE(open(missing), window);
        QVERIFY(window->txtTopic->toPlainText().contains(
            u"The help file "_qs + missing + u" cannot be found."_qs));
        QCOMPARE(window->visibleSections(), QStringList());
        commondlg::showHelp(nullptr, guide(), commondlg::HelpCommand::Quit);
        QTRY_VERIFY(!commondlg::HelpWindow::current());
    }

    // Every menu command the guide names ("File, Save As") is a command of the session menu.
    void guideNamesRealCommands()
    {
        const QString menu = readAll(qEnvironmentVariable("NORVALIS_SOURCE_DIR")
            + u"/resources/menus/session.txt"_qs);
        QVERIFY(!menu.isEmpty());
        QMap<QString, QStringList> bands; // band caption -> tool captions
        QString band;
        for (const QString &line : menu.split(u'\n')) {
            const QStringList cells = line.split(u'\t');
            if (cells.value(0) == u"Band")
                band = cells.value(3).remove(u'&');
            else if (cells.value(0) == u"Tool" && !band.isEmpty())
                bands[band] << cells.value(2).remove(u'&').remove(u"..."_qs);
        }
        const QString text = readAll(qEnvironmentVariable("NORVALIS_SOURCE_DIR")
            + u"/resources/help/nvwin2k.html"_qs);
        static const QRegularExpression command(
            u"<b>(File|Edit|View|Transfer|Tools|Window|Help), ([^<]+)</b>"_qs);
        int found = 0;
        for (const QRegularExpressionMatch &m : command.globalMatch(text)) {
            QVERIFY2(bands.value(m.captured(1)).contains(m.captured(2).simplified()),
                qPrintable(m.captured(0)));
            ++found;
        }
        QVERIFY(found >= 15);
    }

    // tests/screenshot.sh dialogs_tst_helpwindow screenshot out.png: the contents in out.png,
    // a search in out-search.png.
    void screenshot()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        commondlg::HelpWindow *window = open();
        QVERIFY(window->grab().save(out));
        QTest::keyClicks(window->txtSearch, u"zmodem"_qs);
        QTest::keyClick(window->txtSearch, Qt::Key_Return);
        QVERIFY(window->grab().save(out.chopped(4) + u"-search.png"_qs));
    }
};

QTEST_MAIN(tst_helpwindow)
#include "tst_helpwindow.moc"
