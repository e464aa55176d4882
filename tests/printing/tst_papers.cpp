#include "platform/tst_print_cupsd.h"
#include "print/spooler.h"
#include "printing/nvprinter.h"
#include "printing/papers.h"

#include <QtTest>

using Entries = QList<QPair<int, QString>>; // identifier and name, in the printer's order
Q_DECLARE_METATYPE(Entries)

namespace {

// A PDF printer that offers exactly these papers and bins.
void install(const QString &name, const Entries &papers, const Entries &bins)
{
    print::PrinterInfo info = print::pdfPrinter(name, QStringLiteral("/dev/null"));
    info.papers.clear();
    for (const auto &[id, paperName] : papers)
        info.papers.append({ print::Id(id), paperName, QString(), QSizeF(210, 297) });
    for (const auto &[id, binName] : bins)
        info.bins.append({ print::Id(id), binName, QString() });
    print::addPdfPrinter(info);
}

template<class Collection, class Entry>
Entries entriesOf(const Collection &collection, rt::Int Entry::*id, QString Entry::*name)
{
    Entries entries;
    for (const Entry &entry : collection)
        entries.append({ entry.*id, entry.*name });
    return entries;
}

} // namespace

class tst_papers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { useNoPrintService(m_dir.path()); }

    void papersOrder_data()
    {
        QTest::addColumn<Entries>("reported");
        QTest::addColumn<Entries>("expected");
        QTest::newRow("sorted by name") << Entries { { 1, "Letter" }, { 9, "A4" }, { 5, "Legal" } }
                                        << Entries { { 9, "A4" }, { 5, "Legal" }, { 1, "Letter" } };
        QTest::newRow("without case; an equal name after the earlier one")
            << Entries { { 300, "b" }, { 301, "A" }, { 302, "a" } }
            << Entries { { 301, "A" }, { 302, "a" }, { 300, "b" } };
        QTest::newRow("a second entry of one identifier is left out, the rest loads")
            << Entries { { 1, "Letter" }, { 1, "US Letter" }, { 9, "A4" } }
            << Entries { { 9, "A4" }, { 1, "Letter" } };
        QTest::newRow("no name, identifier below 1") << Entries { { 5, "" }, { 0, "Zero" },
            { -3, "Negative" }, { 7, "Executive" } } << Entries { { 7, "Executive" } };
    }
    void papersOrder()
    {
        QFETCH(Entries, reported);
        QFETCH(Entries, expected);
        install(QStringLiteral("Sizes"), reported, {});
        Papers papers;
        papers.LoadPapers(QStringLiteral("sizes"), QString());
        QCOMPARE(entriesOf(papers, &Paper::PaperIndex, &Paper::PaperName), expected);
        QCOMPARE(papers.Count(), expected.size());
    }

    void binsOrder_data()
    {
        QTest::addColumn<Entries>("reported");
        QTest::addColumn<Entries>("expected");
        QTest::newRow("the printer's order") << Entries { { 7, "Auto" }, { 2, "Lower" },
            { 1, "Upper" } } << Entries { { 7, "Auto" }, { 2, "Lower" }, { 1, "Upper" } };
        QTest::newRow("identifier 0 and empty names left out") << Entries { { 0, "Nothing" },
            { 4, "" }, { 256, "Tray 3" } } << Entries { { 256, "Tray 3" } };
        QTest::newRow("a 24-character name is kept whole")
            << Entries { { 1, "Upper tray, letterhead A" } }
            << Entries { { 1, "Upper tray, letterhead A" } };
        QTest::newRow("a second entry of one identifier is left out") << Entries { { 1, "Upper" },
            { 1, "Top" }, { 2, "Lower" } } << Entries { { 1, "Upper" }, { 2, "Lower" } };
    }
    void binsOrder()
    {
        QFETCH(Entries, reported);
        QFETCH(Entries, expected);
        install(QStringLiteral("Trays"), {}, reported);
        Bins bins;
        bins.LoadBins(QStringLiteral("Trays"), QString());
        QCOMPARE(entriesOf(bins, &Bin::BinIndex, &Bin::BinName), expected);
    }

    void lookUp_data()
    {
        QTest::addColumn<QVariant>("index");
        QTest::addColumn<QString>("name"); // empty: nothing
        QTest::newRow("first position") << QVariant(1) << "A4";
        QTest::newRow("last position") << QVariant(3) << "Letter";
        QTest::newRow("position as a double") << QVariant(2.0) << "Legal";
        QTest::newRow("key") << QVariant(QStringLiteral("5")) << "Legal";
        QTest::newRow("position 0") << QVariant(0) << "";
        QTest::newRow("past the end") << QVariant(4) << "";
        QTest::newRow("unknown key") << QVariant(QStringLiteral("8")) << "";
        QTest::newRow("empty") << QVariant() << "";
    }
    void lookUp()
    {
        QFETCH(QVariant, index);
        QFETCH(QString, name);
        install(QStringLiteral("Sizes"), { { 1, "Letter" }, { 9, "A4" }, { 5, "Legal" } }, {});
        Papers papers;
        papers.LoadPapers(QStringLiteral("Sizes"), QString());
        const Paper *paper = papers.item(index);
        QCOMPARE(paper ? paper->PaperName : QString(), name);
    }

    void neverLoaded()
    {
        Papers papers;
        Bins bins;
        QCOMPARE(papers.Count(), 0);
        QCOMPARE(bins.Count(), 0);
        QVERIFY(!papers.item(1));
        QVERIFY(!bins.item(QStringLiteral("1")));
        QVERIFY(!(papers.begin() != papers.end()));
    }

    // A printer that cannot be opened, or offers nothing, leaves what was loaded.
    void failedLoadKeeps()
    {
        install(QStringLiteral("Sizes"), { { 9, "A4" } }, { { 1, "Upper" } });
        install(QStringLiteral("Bare"), {}, {});
        Papers papers;
        Bins bins;
        papers.LoadPapers(QStringLiteral("Sizes"), QString());
        bins.LoadBins(QStringLiteral("Sizes"), QString());
        for (const QString &printer :
            { QStringLiteral("no such printer"), QStringLiteral("Bare") }) {
            papers.LoadPapers(printer, QString());
            bins.LoadBins(printer, QString());
            QCOMPARE(papers.Count(), 1);
            QCOMPARE(bins.Count(), 1);
        }
    }

    // The printer object loads its lists again after the printer changed.
    void followsThePrinter()
    {
        install(QStringLiteral("One"), { { 9, "A4" }, { 1, "Letter" } }, {});
        install(QStringLiteral("Two"), { { 5, "Legal" } }, { { 7, "Auto" } });
        nvPrinter printer;
        printer.setDeviceName(QStringLiteral("One"));
        QCOMPARE(printer.Papers().Count(), 2);
        QCOMPARE(printer.Bins().Count(), 0);
        printer.setDeviceName(QStringLiteral("two"));
        QCOMPARE(printer.Papers().Count(), 1);
        QCOMPARE(printer.Papers().item(1)->PaperName, QStringLiteral("Legal"));
        QCOMPARE(printer.Bins().Count(), 1);
    }

    // A real queue: its sizes sorted by name, with their identifiers, each identifier once.
    void queuePapers()
    {
        QString missing = TestCupsd::unavailable();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        TestCupsd cups;
        QVERIFY2(cups.start({ { QStringLiteral("nvqueue"), TestCupsd::cupsPdfPpd(), {} } },
                     QStringLiteral("nvqueue")),
            qPrintable(cups.error()));
        nvPrinter printer; // the default printer
        const Papers &papers = printer.Papers();
        QVERIFY(papers.Count() > 40);
        QSet<int> ids;
        QString previous;
        for (const Paper &paper : papers) {
            QVERIFY2(previous.compare(paper.PaperName, Qt::CaseInsensitive) <= 0,
                qPrintable(previous + " > " + paper.PaperName));
            previous = paper.PaperName;
            QVERIFY(!ids.contains(paper.PaperIndex));
            ids << paper.PaperIndex;
        }
        QCOMPARE(papers.item(QStringLiteral("9"))->PaperName, QStringLiteral("A4"));
        QCOMPARE(papers.item(QStringLiteral("1"))->PaperName, QStringLiteral("Letter"));
        QCOMPARE(papers.item(QStringLiteral("5"))->PaperName, QStringLiteral("Legal"));
        QCOMPARE(papers.item(QStringLiteral("11"))->PaperName, QStringLiteral("A5"));
        QCOMPARE(printer.Bins().Count(), 0);
    }
};

QTEST_MAIN(tst_papers)
#include "tst_papers.moc"
