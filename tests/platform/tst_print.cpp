// The printer services without a print service: the paper and bin codes, the PDF printers, the
// device context, and what every call answers when no print service is running.

#include "emulator/emulator.h"
#include "emulator/emusettings.h"
#include "emulator/printerjob.h"
#include "platform/tst_print_cupsd.h"
#include "platform/tst_print_pdf.h"
#include "print/device.h"
#include "print/papercodes.h"
#include "print/spooler.h"
#include "runtime/errnum.h"

#include <QElapsedTimer>
#include <QFontInfo>
#include <QRegularExpression>
#include <QtTest>

class tst_print : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { useNoPrintService(m_dir.path()); }

    // Every standard code's PWG name is one the print service knows, and codes go up.
    void paperTable()
    {
        int previous = 0;
        for (const print::PaperCode &code : print::paperCodes()) {
            QVERIFY(code.id > previous);
            previous = code.id;
            QVERIFY2(!print::pwgSize(QLatin1String(code.pwg)).isEmpty(), code.pwg);
            QCOMPARE(print::standardPaperId(QLatin1String(code.pwg)), code.id);
            QCOMPARE(print::paperPwg(code.id), QLatin1String(code.pwg));
        }
        QVERIFY(previous < print::FirstPrivatePaper);
        for (const print::BinCode &code : print::binCodes())
            if (*code.keyword)
                QCOMPARE(print::standardBinId(QLatin1String(code.keyword)), code.id);
    }

    void paperCodes_data()
    {
        QTest::addColumn<QString>("pwg");
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name"); // of a size without a code
        QTest::newRow("name") << "iso_a4_210x297mm" << 9 << "";
        QTest::newRow("size in points, A5") << "custom_148.52x209.9mm_148.52x209.9mm" << 11 << "";
        QTest::newRow("1 mm off is still A4") << "custom_a4ish_211x298mm" << 9 << "";
        QTest::newRow("2 mm off is not") << "custom_big_212x299mm" << 0 << "212 x 299 mm";
        QTest::newRow("turned sideways is not") << "custom_17x11in_17x11in" << 0 << "17 x 11 in";
        QTest::newRow("ISO family in capitals") << "iso_sra4_225x320mm" << 0 << "SRA4";
        QTest::newRow("JIS family") << "jis_b0_1030x1456mm" << 0 << "B0 (JIS)";
        QTest::newRow("words") << "na_arch-a_9x12in" << 0 << "Arch A";
        QTest::newRow("not a size") << "plain" << 0 << "plain";
    }
    void paperCodes()
    {
        QFETCH(QString, pwg);
        QFETCH(int, id);
        QFETCH(QString, name);
        QCOMPARE(int(print::standardPaperId(pwg)), id);
        if (id == 0)
            QCOMPARE(print::paperName(0, pwg), name);
    }

    // Codes from the private range, one book per printer, kept while the program runs.
    void privateCodes()
    {
        print::CodeBook &one = print::CodeBook::of(QStringLiteral("Shop"));
        const print::Id a0 = one.paperId(QStringLiteral("iso_a0_841x1189mm"));
        const print::Id a1 = one.paperId(QStringLiteral("iso_a1_594x841mm"));
        QCOMPARE(a0, print::FirstPrivatePaper);
        QCOMPARE(a1, print::FirstPrivatePaper + 1);
        QCOMPARE(print::CodeBook::of(QStringLiteral("SHOP"))
                     .paperId(QStringLiteral("iso_a0_841x1189mm")),
            a0);
        QCOMPARE(one.paperId(QStringLiteral("iso_a4_210x297mm")), 9);
        QCOMPARE(print::CodeBook::of(QStringLiteral("Other"))
                     .paperId(QStringLiteral("iso_a1_594x841mm")),
            print::FirstPrivatePaper);
        QCOMPARE(one.binId(QStringLiteral("tray-1")), print::FirstPrivateBin);
        QCOMPARE(one.binId(QStringLiteral("manual")), 4);
        QCOMPARE(one.binId(QStringLiteral("tray-2")), print::FirstPrivateBin + 1);
        QCOMPARE(one.binId(QStringLiteral("tray-1")), print::FirstPrivateBin);
        QCOMPARE(
            print::binName(256, QStringLiteral("by-pass-tray")), QStringLiteral("By Pass Tray"));
        QCOMPARE(print::binName(7, QStringLiteral("auto")), QStringLiteral("Automatically Select"));
    }

    void findControlChar_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("none") << "plain text" << 10;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("first") << "\rabc" << 0;
        QTest::newRow("tab") << "ab\tc" << 2;
        QTest::newRow("escape") << "abc\x1b[m" << 3;
        QTest::newRow("code 31 is one") << "a\x1f" << 1;
        QTest::newRow("space and DEL are not") << " \x7f" << 2;
        QTest::newRow("wide characters count once") << "äöü€\n" << 4;
    }
    void findControlChar()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QCOMPARE(print::FindControlChar(text), count);
    }

    // No print service: clear answers, at once.
    void noService()
    {
        QElapsedTimer timer;
        timer.start();
        print::Failure failure;
        QVERIFY(print::printers(&failure).isEmpty());
        QCOMPARE(failure.code, rt::err::SpoolerUnavailable);
        QVERIFY2(failure.text.contains(QLatin1String("is not running")), qPrintable(failure.text));
        QCOMPARE(print::defaultPrinter(), QString());
        failure = {};
        QVERIFY(!print::openPrinter(QStringLiteral("anything"), failure));
        QCOMPARE(failure.code, rt::err::SpoolerUnavailable);
        print::PrinterInfo queue;
        queue.entry.name = QStringLiteral("anything");
        QCOMPARE(
            print::submitJob(queue, QStringLiteral("job"), QByteArray("%PDF"), 0, 0, failure), 0);
        QCOMPARE(failure.code, rt::err::SpoolerUnavailable);
        QVERIFY(timer.elapsed() < 2000);
    }

    void pdfPrinters()
    {
        const QString file = m_dir.filePath(QStringLiteral("p.pdf"));
        print::addPdfPrinter(print::pdfPrinter(QStringLiteral("Desk"), file));
        print::Failure failure;
        QCOMPARE(print::printers(&failure).size(), 1);
        const auto desk = print::openPrinter(QStringLiteral("DESK"), failure);
        QVERIFY(desk);
        QCOMPARE(desk->pdfFile, file);
        QCOMPARE(desk->resolution, 1200);
        QVERIFY(desk->paper(9) && desk->paper(1) && desk->paper(5));
        QCOMPARE(desk->paper(9)->name, QStringLiteral("A4"));
        QVERIFY(!desk->paper(2));
        // Replaced under the same name, then gone.
        print::PrinterInfo other = print::pdfPrinter(QStringLiteral("desk"), file);
        other.resolution = 600;
        print::addPdfPrinter(other);
        QCOMPARE(print::openPrinter(QStringLiteral("Desk"), failure)->resolution, 600);
        print::removePdfPrinter(QStringLiteral("Desk"));
        QVERIFY(!print::openPrinter(QStringLiteral("Desk"), failure));
        QVERIFY(print::printers().isEmpty());
    }

    // Pages come into the document with their first drawing; an empty document sends nothing.
    void pagesOfADocument_data()
    {
        QTest::addColumn<QString>("steps"); // s start page, e end page, d drop page, t text
        QTest::addColumn<int>("pages"); // -1: no file
        QTest::newRow("nothing") << "" << -1;
        QTest::newRow("a dropped page") << "sd" << -1;
        QTest::newRow("an ended blank page") << "se" << 1;
        QTest::newRow("text, then a dropped page") << "stese"
                                                      "d"
                                                   << 2;
        QTest::newRow("a page with text is not dropped") << "std" << 1;
    }
    void pagesOfADocument()
    {
        QFETCH(QString, steps);
        QFETCH(int, pages);
        const QString file = m_dir.filePath(QStringLiteral("pages.pdf"));
        QFile::remove(file);
        print::DeviceContext dc(print::pdfPrinter(QStringLiteral("Pages"), file), {});
        QVERIFY(dc.startDoc(QStringLiteral("pages")) > 0);
        for (const QChar step : steps) {
            switch (step.unicode()) {
            case 's':
                dc.startPage();
                break;
            case 'e':
                dc.endPage();
                break;
            case 'd':
                dc.dropPage();
                break;
            default:
                dc.textOut(0, 0, QStringLiteral("text"));
                break;
            }
        }
        print::Failure failure;
        QVERIFY(dc.endDoc(failure));
        QCOMPARE(QFile::exists(file) ? pdf::pages(file) : -1, pages);
    }

    // Faces of other systems that programs ask for: a fixed-pitch face stands in for them.
    void fixedPitchFallback_data()
    {
        QTest::addColumn<QString>("face");
        QTest::newRow("Courier New") << "Courier New";
        QTest::newRow("Lucida Console") << "Lucida Console";
        QTest::newRow("Consolas") << "consolas";
    }
    void fixedPitchFallback()
    {
        QFETCH(QString, face);
        print::DeviceContext dc(print::pdfPrinter(QStringLiteral("Fonts"), QString()), {});
        QVERIFY(dc.selectFont({ -40, 400, false, face }));
        QVERIFY2(QFontInfo(dc.font()).fixedPitch(), qPrintable(QFontInfo(dc.font()).family()));
        QCOMPARE(dc.textExtent(QStringLiteral("iiii")).width(),
            dc.textExtent(QStringLiteral("MMMM")).width());
    }

    // The terminal's Print Screen goes through these services with the session's printer
    // settings: printer, font, paper and orientation.
    void printScreen_data()
    {
        QTest::addColumn<QString>("printer");
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("legal, landscape") << "Desk" << 5 << 2 << QSizeF(1008, 612);
        QTest::newRow("letter, portrait") << "Desk" << 1 << 1 << QSizeF(612, 792);
        QTest::newRow("a paper the printer lacks: its own")
            << "Desk" << 70 << 1 << QSizeF(595.3, 841.9);
        QTest::newRow("no such printer: a PDF file, legal")
            << "nowhere" << 5 << 1 << QSizeF(612, 1008);
    }
    void printScreen()
    {
        QFETCH(QString, printer);
        QFETCH(int, paper);
        QFETCH(int, orientation);
        QFETCH(QSizeF, size);
        const QString missing = pdf::missingTools();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        QTemporaryDir capture;
        const QString desk = m_dir.filePath(QStringLiteral("desk.pdf"));
        print::PrinterInfo info = print::pdfPrinter(QStringLiteral("Desk"), desk);
        info.defaultPaper = 9;
        print::addPdfPrinter(info);
        emu::nvEmulator control;
        emu::Settings &settings = *control.Settings();
        settings.setPrinterName(printer);
        settings.setPrinterPaperSize(rt::Int(paper));
        settings.setPrinterOrientation(rt::Int(orientation));
        settings.setPrinterFontName(QStringLiteral("DejaVu Sans Mono"));
        settings.setPrinterFontBold(1);
        settings.setDefaultCaptureDir(capture.path());
        control.Emulate(QStringLiteral("screen to print"));
        control.PrintScreen();
        const QString out = control.lastPrintTarget();
        QCOMPARE(out, printer == QLatin1String("Desk") ? desk : out);
        QVERIFY2(QFileInfo(out).isFile(), qPrintable(out));
        if (printer != QLatin1String("Desk"))
            QCOMPARE(QFileInfo(out).absolutePath(), QDir(capture.path()).absolutePath());
        const QSizeF page = pdf::pageSize(out, 1);
        QVERIFY2(std::abs(page.width() - size.width()) < 1
                && std::abs(page.height() - size.height()) < 1,
            qPrintable(QStringLiteral("%1 x %2").arg(page.width()).arg(page.height())));
        QCOMPARE(pdf::lines(out).value(0).trimmed(), QStringLiteral("screen to print"));
        QCOMPARE(pdf::fonts(out).value(0).section(u'+', -1), QStringLiteral("DejaVuSansMono-Bold"));
        print::removePdfPrinter(QStringLiteral("Desk"));
        QFile::remove(desk);
    }

    // A host's print job is cut at the page limit: more pages than that, each longer than the
    // paper, give a PDF file of that many pages.
    void hostJobCut()
    {
        const QByteArray page = QByteArray("line\r\n").repeated(40) + '\f';
        const QByteArray data = page.repeated(emu::PrinterJob::maxPages + 500);
        const QString missing = pdf::missingTools();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        QTemporaryDir capture;
        emu::nvEmulator control;
        emu::Settings &settings = *control.Settings();
        settings.setTermType(12);
        settings.setPrinterName(QStringLiteral("nowhere"));
        settings.setPrinterFontSize(72);
        settings.setDefaultCaptureDir(capture.path());
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(u"print job cut at 1000 pages"_qs));
        control.feedHostData("\x1b[5i" + data + "\x1b[4ishown");
        QCOMPARE(control.screen()->rowText(0).trimmed(), QStringLiteral("shown"));
        const QString out = control.lastPrintTarget();
        QCOMPARE(pdf::pages(out), int(emu::PrinterJob::maxPages));
        QCOMPARE(pdf::lines(out, 1).value(0), QStringLiteral("line"));
    }
};

QTEST_MAIN(tst_print)
#include "tst_print.moc"
