// The printer services against a real print service: a cupsd of the test's own with cups-pdf
// queues.

#include "emulator/emulator.h"
#include "emulator/emusettings.h"
#include "platform/tst_print_cupsd.h"
#include "platform/tst_print_pdf.h"
#include "print/device.h"
#include "print/spooler.h"
#include "runtime/errnum.h"

#include <QElapsedTimer>
#include <QtTest>

namespace {

const QString Driver = QStringLiteral("Generic CUPS-PDF Printer (w/ options)");

} // namespace

class tst_printcups : public QObject
{
    Q_OBJECT

    TestCupsd m_cups;
    QStringList m_outputs; // the PDF files cups-pdf made for this test

    QString token(const char *what) const
    {
        return QStringLiteral("nvtest%1%2")
            .arg(QLatin1String(what))
            .arg(QCoreApplication::applicationPid());
    }

private slots:
    void initTestCase()
    {
        QString missing = TestCupsd::unavailable();
        if (missing.isEmpty())
            missing = pdf::missingTools();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QString plain = TestCupsd::cupsPdfPpd();
        const QString trays = TestCupsd::cupsPdfPpd(
            { QStringLiteral("Auto"), QStringLiteral("Upper"), QStringLiteral("Lower"),
                QStringLiteral("Manual"), QStringLiteral("Tray3") },
            QStringLiteral("Legal"));
        // No resolution of its own: the queue's setting in dots per centimetre is the one told.
        const QString turned = QString(plain).remove(QStringLiteral("*DefaultResolution: 300dpi\n"));
        // A driver that takes plain text alone refuses a PDF document when it has arrived.
        const QString textOnly = QString(plain).replace(
            QStringLiteral("*% cupsFilter:"), QStringLiteral("*cupsFilter: \"text/plain 0 -\"\n*%"));
        QVERIFY2(m_cups.start({ { QStringLiteral("nvpdf"), plain, {} },
                                  { QStringLiteral("nvtrays"), trays,
                                      { QStringLiteral("Option orientation-requested 4") } },
                                  { QStringLiteral("nvstopped"), plain,
                                      { QStringLiteral("Accepting No") } },
                                  { QStringLiteral("nvturned"), turned,
                                      { QStringLiteral("Option orientation-requested 5"),
                                          QStringLiteral("Option printer-resolution 118dpcm") } },
                                  { QStringLiteral("nvtextonly"), textOnly, {} } },
                     QStringLiteral("nvpdf")),
            qPrintable(m_cups.error()));
    }

    void cleanupTestCase()
    {
        for (const QString &file : std::as_const(m_outputs))
            QFile::remove(file);
    }

    void printersAndDefault()
    {
        print::Failure failure;
        const QList<print::PrinterEntry> printers = print::printers(&failure);
        QCOMPARE(failure.code, 0);
        QStringList names;
        for (const print::PrinterEntry &entry : printers) {
            names << entry.name;
            QCOMPARE(entry.driver, Driver);
            QCOMPARE(entry.port, QStringLiteral("cups-pdf:/"));
        }
        QCOMPARE(names, QStringList({ "nvpdf", "nvstopped", "nvtextonly", "nvtrays", "nvturned" }));
        QCOMPARE(print::defaultPrinter(), QStringLiteral("nvpdf"));
    }

    // The queue's sizes with the codes they map to.
    void media_data()
    {
        QTest::addColumn<QString>("pwg");
        QTest::addColumn<int>("id"); // -1: from the private range
        QTest::addColumn<QString>("name");
        QTest::newRow("by name") << "iso_a4_210x297mm" << 9 << "A4";
        QTest::newRow("letter") << "na_letter_8.5x11in" << 1 << "Letter";
        QTest::newRow("tabloid") << "na_ledger_11x17in" << 3 << "Tabloid";
        QTest::newRow("by size: A5 in points")
            << "custom_148.52x209.9mm_148.52x209.9mm" << 11 << "A5";
        QTest::newRow("by size: B4 in points")
            << "custom_256.47x363.01mm_256.47x363.01mm" << 12 << "B4 (JIS)";
        QTest::newRow("landscape ledger has no code")
            << "custom_17x11in_17x11in" << -1 << "17 x 11 in";
        QTest::newRow("A0 has no code") << "iso_a0_841x1189mm" << -1 << "A0";
    }
    void media()
    {
        QFETCH(QString, pwg);
        QFETCH(int, id);
        QFETCH(QString, name);
        print::Failure failure;
        const auto printer = print::openPrinter(QStringLiteral("NVPDF"), failure);
        QVERIFY2(printer, qPrintable(failure.text));
        const print::Media *found = nullptr;
        for (const print::Media &media : printer->papers) {
            QVERIFY(!media.pwg.startsWith(QLatin1String("custom_min"))
                && !media.pwg.startsWith(QLatin1String("custom_max")));
            if (media.pwg == pwg)
                found = &media;
        }
        QVERIFY(found);
        if (id > 0)
            QCOMPARE(found->id, id);
        else
            QVERIFY(found->id >= print::FirstPrivatePaper);
        QCOMPARE(found->name, name);
        QCOMPARE(printer->defaultPaper, 9);
        QCOMPARE(printer->defaultOrientation, print::Portrait);
        QCOMPARE(printer->resolution, 300);
        QVERIFY(printer->bins.isEmpty());
    }

    void queueDefaults_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::addColumn<QStringList>("bins");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("resolution");
        QTest::newRow("trays, landscape, legal") << "nvtrays"
            << QStringList({ "7 auto Automatically Select", "1 top Upper", "2 bottom Lower",
                   "4 manual Manual Feed", "256 tray-3 Tray 3" })
            << int(print::Landscape) << 5 << 300;
        QTest::newRow("reverse landscape, 118 dots per cm")
            << "nvturned" << QStringList() << int(print::Landscape) << 9 << 300;
    }
    void queueDefaults()
    {
        QFETCH(QString, queue);
        print::Failure failure;
        const auto printer = print::openPrinter(queue, failure);
        QVERIFY2(printer, qPrintable(failure.text));
        QStringList bins;
        for (const print::Source &source : printer->bins)
            bins << QStringLiteral("%1 %2 %3").arg(source.id).arg(source.keyword, source.name);
        QTEST(bins, "bins");
        QTEST(int(printer->defaultOrientation), "orientation");
        QTEST(int(printer->defaultPaper), "paper");
        QTEST(printer->resolution, "resolution");
    }

    void unknownPrinter()
    {
        print::Failure failure;
        QVERIFY(!print::openPrinter(QStringLiteral("nosuchqueue"), failure));
        QCOMPARE(failure.code, rt::err::InvalidPrinterName);
    }

    // The paper and the source go with the job.
    void paperAndSource()
    {
        print::Failure failure;
        auto printer = print::openPrinter(QStringLiteral("nvtrays"), failure);
        QVERIFY(printer);
        print::DeviceMode mode = print::defaultMode(*printer);
        mode.paperSize = 1;
        mode.defaultSource = 4;
        mode.orientation = print::Portrait;
        print::DeviceContext dc(*printer, mode);
        const QString title = token("letter");
        QVERIFY(dc.startDoc(title) > 0);
        dc.startPage();
        dc.textOut(100, 100, QStringLiteral("Letter from the manual feed"));
        QVERIFY2(dc.endDoc(failure), qPrintable(failure.text));
        const QString out = m_cups.waitForOutput(title);
        QVERIFY2(!out.isEmpty(), qPrintable(m_cups.log()));
        m_outputs << out;
        const auto attributes = TestCupsd::jobAttributes(TestCupsd::jobTitled(QStringLiteral("nvtrays"), title));
        QCOMPARE(attributes.value(QStringLiteral("media")), QStringLiteral("na_letter_8.5x11in"));
        QCOMPARE(attributes.value(QStringLiteral("media-source")), QStringLiteral("manual"));
        const QSizeF size = pdf::pageSize(out, 1);
        QVERIFY2(std::abs(size.width() - 612) < 2 && std::abs(size.height() - 792) < 2,
            qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
    }

    void refusedJob_data()
    {
        QTest::addColumn<QString>("queue");
        QTest::newRow("a queue that takes no jobs") << "nvstopped";
        QTest::newRow("a document refused when it has arrived") << "nvtextonly";
    }
    // A job the service refuses, at its start or at its end: the document is reported lost, not
    // printed.
    void refusedJob()
    {
        QFETCH(QString, queue);
        print::Failure failure;
        auto printer = print::openPrinter(queue, failure);
        QVERIFY(printer);
        print::DeviceContext dc(*printer, print::defaultMode(*printer));
        QVERIFY(dc.startDoc(token("refused")) > 0);
        dc.startPage();
        dc.textOut(0, 0, QStringLiteral("nobody takes this"));
        QVERIFY(!dc.endDoc(failure));
        QCOMPARE(failure.code, rt::err::DeviceIO);
        QVERIFY2(failure.text.contains(queue), qPrintable(failure.text));
    }

    // A host's burst of print jobs (the print controller's, print-screen requests) reaches the
    // queue about once a second; the data of the others is shown nowhere.
    void hostJobFlood()
    {
        constexpr int jobs = 100;
        const QString title = token("flood");
        emu::nvEmulator control;
        control.setCaption(title);
        control.Settings()->setTermType(12);
        control.Settings()->setPrinterName(QStringLiteral("nvpdf"));
        QElapsedTimer clock;
        clock.start();
        control.feedHostData(QByteArray("\x1b[5ijob\f\x1b[4i\x1b[i").repeated(jobs) + "end");
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(control.screen()->rowText(0).trimmed(), QStringLiteral("end"));
        const qsizetype queued = TestCupsd::jobsTitled(QStringLiteral("nvpdf"), title).size();
        QVERIFY2(queued >= 1 && queued <= 1 + elapsed / 1000, qPrintable(QString::number(queued)));
        const QString out = m_cups.waitForOutput(title);
        QVERIFY2(!out.isEmpty(), qPrintable(m_cups.log()));
        m_outputs << out;
        QCOMPARE(pdf::pages(out), 1);
    }
};

QTEST_MAIN(tst_printcups)
#include "tst_printcups.moc"
