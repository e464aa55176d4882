#include "app/msgbox.h"
#include "common/testutil.h"
#include "platform/tst_print_cupsd.h"
#include "platform/tst_print_pdf.h"
#include "print/spooler.h"
#include "printing/nvprinter.h"
#include "runtime/errnum.h"

#include <QColor>
#include <QFile>
#include <QtTest>

namespace {

constexpr rt::Long Red = 0x0000FF;
constexpr rt::Long Blue = 0xFF0000;
constexpr rt::Long Black = 0;
constexpr rt::Int A4 = 9;
constexpr rt::Int Legal = 5;
constexpr rt::Int Letter = 1;
// 72 dots per inch: one pixel of a rendered page is one point, 20 twips.
constexpr int RenderDpi = 72;
constexpr int TwipsPerRenderPixel = 20;

bool near(const QSizeF &a, const QSizeF &b)
{
    return std::abs(a.width() - b.width()) < 1 && std::abs(a.height() - b.height()) < 1;
}

// A colour read off a rendered page: red, blue, black or white, or "other".
QString colourAt(const QImage &page, rt::Long xTwips, rt::Long yTwips)
{
    const QColor c = page.pixelColor(xTwips / TwipsPerRenderPixel, yTwips / TwipsPerRenderPixel);
    if (c.red() > 200 && c.green() < 80 && c.blue() < 80)
        return QStringLiteral("red");
    if (c.blue() > 200 && c.red() < 80 && c.green() < 80)
        return QStringLiteral("blue");
    if (c.lightness() < 60)
        return QStringLiteral("black");
    if (c.lightness() > 230)
        return QStringLiteral("white");
    return QStringLiteral("other");
}

} // namespace

class tst_nvprinter : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;
    QStringList m_prompts;
    QList<rt::Int> m_answers; // given to the prompts in turn; Cancel when none is left

    std::unique_ptr<nvPrinter> printer(const QString &name = QStringLiteral("PDF"))
    {
        auto p = std::make_unique<nvPrinter>();
        p->setDeviceName(name);
        return p;
    }

    // Installs a PDF printer writing to file; its paper and orientation by default are given.
    void addPrinter(const QString &name, const QString &file, rt::Int paper = A4,
        rt::Int orientation = print::Portrait, QList<print::Source> bins = {})
    {
        print::PrinterInfo info = print::pdfPrinter(name, file);
        info.defaultPaper = paper;
        info.defaultOrientation = orientation;
        info.bins = std::move(bins);
        print::addPdfPrinter(info);
    }

private slots:
    void initTestCase()
    {
        const QString missing = pdf::missingTools();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        // No print service here: the printers are the PDF printers this test installs.
        useNoPrintService(m_dir.path());
        m_pdf = m_dir.filePath(QStringLiteral("out.pdf"));
        addPrinter(QStringLiteral("PDF"), m_pdf);
        frmMsgBox::setAnswerHook([this](const QString &prompt, rt::Int flags) {
            m_prompts << QStringLiteral("%1|%2").arg(prompt).arg(flags);
            return m_answers.isEmpty() ? rt::Int(MsgBox::Cancel) : m_answers.takeFirst();
        });
    }

    void cleanupTestCase() { frmMsgBox::setAnswerHook(nullptr); }

    void init()
    {
        QFile::remove(m_pdf);
        m_prompts.clear();
        m_answers.clear();
    }

    // Two pages in the chosen font, their lines in order.
    void twoPageJob()
    {
        auto p = printer();
        p->SelectFont(QStringLiteral("Courier New"), 12, false, false);
        p->NVPrint(QStringLiteral("First line of page one"), 3);
        p->NVPrint(QStringLiteral("Second line of page one"), 3);
        p->NewPage();
        p->NVPrint(QStringLiteral("Only line of page two"));
        p->EndDoc();
        QCOMPARE(pdf::pages(m_pdf), 2);
        QCOMPARE(pdf::lines(m_pdf, 1),
            QStringList({ "First line of page one", "Second line of page one" }));
        QCOMPARE(pdf::lines(m_pdf, 2), QStringList({ "Only line of page two" }));
        const QString fonts = pdf::fonts(m_pdf).join(u' ');
        QVERIFY2(fonts.contains(QLatin1String("Mono")) || fonts.contains(QLatin1String("Courier")),
            qPrintable(fonts));
        QVERIFY(near(pdf::pageSize(m_pdf, 1), QSizeF(595.3, 841.9)));
    }

    // The same job on the default printer of a real print service: cups-pdf makes a PDF of it.
    void throughACupsQueue()
    {
        const QString missing = TestCupsd::unavailable();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        TestCupsd cups;
        QVERIFY2(cups.start({ { QStringLiteral("nvjobs"), TestCupsd::cupsPdfPpd(), {} } },
                     QStringLiteral("nvjobs")),
            qPrintable(cups.error()));
        const QString title
            = QStringLiteral("nvtestobject%1").arg(QCoreApplication::applicationPid());
        QString out;
        {
            nvPrinter p;
            QCOMPARE(p.DeviceName(), QStringLiteral("nvjobs"));
            p.setDocName(title);
            p.SelectFont(QStringLiteral("Courier New"), 12, false, false);
            p.NVPrint(QStringLiteral("First line of page one"), 3);
            p.NewPage();
            p.NVPrint(QStringLiteral("Only line of page two"), 3);
            p.EndDoc();
            out = cups.waitForOutput(title);
        }
        QVERIFY2(!out.isEmpty(), qPrintable(cups.log()));
        QCOMPARE(pdf::pages(out), 2);
        // PaperSize 0: the job goes on the printer's own paper, named.
        QCOMPARE(TestCupsd::jobAttributes(TestCupsd::jobTitled(QStringLiteral("nvjobs"), title))
                     .value(QStringLiteral("media")),
            QStringLiteral("iso_a4_210x297mm"));
        QFile::remove(out);
        QVERIFY(m_prompts.isEmpty());
    }

    // Questions that open a page do not make a job of their own.
    void nothingDrawnPrintsNothing_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("close");
        const char *const actions[]
            = { "read Page", "read CurrentX", "read CurrentY", "set CurrentY", "line feed" };
        for (int i = 0; i < 5; ++i) {
            QTest::addRow("%s, EndDoc", actions[i]) << i << false;
            QTest::addRow("%s, NVClose", actions[i]) << i << true;
        }
    }
    void nothingDrawnPrintsNothing()
    {
        QFETCH(int, action);
        QFETCH(bool, close);
        auto p = printer();
        switch (action) {
        case 0:
            QCOMPARE(p->Page(), 1);
            break;
        case 1:
            QCOMPARE(p->CurrentX(), 0);
            break;
        case 2:
            QCOMPARE(p->CurrentY(), 0);
            break;
        case 3:
            p->setCurrentY(1440);
            break;
        default:
            p->NVPrint(QStringLiteral("\n"));
            break;
        }
        QVERIFY(p->hdc() != 0);
        close ? p->NVClose() : p->EndDoc();
        QVERIFY(!QFile::exists(m_pdf));
    }

    // Pages that control characters end and begin.
    void pageBreaks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<QStringList>>("pages");
        QTest::newRow("form feed ends the page")
            << "one\r\ntwo\fthree" << QList<QStringList> { { "one", "two" }, { "three" } };
        QTest::newRow("two form feeds, no page open: one empty page")
            << "\f\f" << QList<QStringList> { {} };
        QTest::newRow("pending text goes on the page a form feed opened")
            << "x\f\f" << QList<QStringList> { { "x" } };
        QTest::newRow("bare LF keeps the column")
            << "ab\ncd" << QList<QStringList> { { "ab", "cd" } };
        QTest::newRow("other control characters are dropped") << "a\tb\x01"
                                                                 "c\x1b"
                                                              << QList<QStringList> { { "abc" } };
    }
    void pageBreaks()
    {
        QFETCH(QString, text);
        QFETCH(QList<QStringList>, pages);
        auto p = printer();
        p->NVPrint(text);
        p->EndDoc();
        QCOMPARE(pdf::pages(m_pdf), pages.size());
        for (int i = 0; i < pages.size(); ++i) {
            QStringList lines = pdf::lines(m_pdf, i + 1);
            for (QString &line : lines)
                line = line.trimmed();
            QCOMPARE(lines, pages.at(i));
        }
    }

    // A line that would not fit above the bottom goes on the next page, at the top left.
    void lineFeedPastTheBottom()
    {
        auto p = printer();
        p->SelectFont(QStringLiteral("DejaVu Sans Mono"), 24, false, false);
        const rt::Long lineHeight = p->TextHeight(QStringLiteral("A"));
        const int perPage = int(p->Height() / lineHeight);
        QStringList all;
        for (int i = 1; i <= perPage + 3; ++i) {
            all << QStringLiteral("line %1").arg(i);
            p->NVPrint(all.last(), 3);
        }
        QCOMPARE(p->Page(), 2);
        QVERIFY(p->CurrentY() < lineHeight * 4);
        p->EndDoc();
        QCOMPARE(pdf::pages(m_pdf), 2);
        QCOMPARE(pdf::lines(m_pdf, 2), all.mid(perPage));
        QCOMPARE(pdf::lines(m_pdf, 1) + pdf::lines(m_pdf, 2), all);
    }

    void textPosition_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("linesDown");
        QTest::addColumn<bool>("atLeftEdge");
        QTest::newRow("CR LF, the last letter pending") << "ab\r\nc" << 0 << 1 << true;
        QTest::newRow("flags 3: CR and LF after the text") << "a" << 3 << 1 << true;
        QTest::newRow("flags 2: LF keeps the column") << "a" << 2 << 1 << false;
        QTest::newRow("no control character: all pending") << "abc" << 0 << 0 << true;
    }
    void textPosition()
    {
        QFETCH(QString, text);
        QFETCH(int, flags);
        QFETCH(int, linesDown);
        QFETCH(bool, atLeftEdge);
        auto p = printer();
        p->NVPrint(text, quint8(flags));
        // One device pixel (1.2 twips at 1200 dots per inch) of rounding either way.
        QVERIFY(std::abs(p->CurrentY() - linesDown * p->TextHeight(QStringLiteral("A"))) <= 2);
        QCOMPARE(p->CurrentX() == 0, atLeftEdge);
        p->NVClose();
        QCOMPARE(pdf::lines(m_pdf).join(QString()),
            QString(text).remove(QRegularExpression("[\\r\\n]")));
    }

    void scaleModes_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("scaleX"); // after CurrentX = 1440 twips
        QTest::addColumn<int>("scaleWidth");
        QTest::addColumn<int>("fontHeightPer10Points");
        // A4 at 1200 dots per inch: 595 points, 9917 pixels across, 11900 twips.
        QTest::newRow("twips") << 1 << 1440 << 11900 << 200;
        QTest::newRow("pixels") << 3 << 1200 << 9917 << 167;
    }
    void scaleModes()
    {
        QFETCH(int, mode);
        QFETCH(int, scaleX);
        QFETCH(int, scaleWidth);
        QFETCH(int, fontHeightPer10Points);
        auto p = printer();
        p->setScaleMode(rt::Int(mode));
        p->setCurrentX(1440);
        QCOMPARE(p->ScaleX(), scaleX);
        QCOMPARE(p->CurrentX(), 1440);
        QCOMPARE(p->ScaleWidth(), scaleWidth);
        QCOMPARE(p->Width(), 11900);
        QCOMPARE(p->TwipsPerPixelX(), 1.2f);
        QCOMPARE(p->ScaleLeft(), 0);
        QCOMPARE(p->ScaleTop(), 0);
        QCOMPARE(p->Zoom(), 0);
        // The font follows the mapping: a character height in logical units.
        const rt::Long height = p->TextHeight(QStringLiteral("A"));
        QVERIFY2(height > fontHeightPer10Points && height < fontHeightPer10Points * 3 / 2,
            qPrintable(QString::number(height)));
        // Switching keeps the place on the page.
        p->setScaleMode(mode == 1 ? 3 : 1);
        QCOMPARE(p->CurrentX(), 1440);
        p->AbortDoc();
    }

    void invalidSettings_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("text");
        QTest::newRow("scale mode 2") << 0 << "Invalid Scale Mode";
        QTest::newRow("orientation 3") << 1 << "Invalid orientation";
        QTest::newRow("orientation -1") << 2 << "Invalid orientation";
        QTest::newRow("paper the printer lacks") << 3 << "Paper Size Not Supported";
        QTest::newRow("bin the printer lacks") << 4 << "Bin Not Supported";
        QTest::newRow("printer that is not installed") << 5 << "The printer is invalid";
    }
    void invalidSettings()
    {
        QFETCH(int, which);
        QFETCH(QString, text);
        auto p = printer();
        p->setPaperSize(Legal);
        const rt::Error error = raisedError([&] {
            switch (which) {
            case 0:
                return p->setScaleMode(2);
            case 1:
                return p->setOrientation(3);
            case 2:
                return p->setOrientation(-1);
            case 3:
                return p->setPaperSize(999);
            case 4:
                return p->setPaperBin(4);
            default:
                return p->setDeviceName(QStringLiteral("no such printer"));
            }
        });
        QCOMPARE(error.number, rt::err::PrinterFailure);
        QCOMPARE(error.description, text);
        // Nothing changed.
        QCOMPARE(p->ScaleMode(), 1);
        QCOMPARE(p->Orientation(), 0);
        QCOMPARE(p->PaperSize(), Legal);
        QCOMPARE(p->PaperBin(), 0);
        QCOMPARE(p->DeviceName(), QStringLiteral("PDF"));
    }

    // Paper and orientation, before the job and between its pages.
    void paperAndOrientation_data()
    {
        QTest::addColumn<int>("defaultOrientation");
        QTest::addColumn<QList<int>>("settings"); // paper, orientation per page
        QTest::addColumn<QList<QSizeF>>("sizes");
        const QSizeF a4(595.3, 841.9), legal(612, 1008), letter(612, 792);
        const QSizeF a4Landscape(841.9, 595.3), legalLandscape(1008, 612);
        QTest::newRow("printer default") << 1 << QList<int> { 0, 0 } << QList<QSizeF> { a4 };
        QTest::newRow("legal") << 1 << QList<int> { Legal, 0 } << QList<QSizeF> { legal };
        QTest::newRow("landscape") << 1 << QList<int> { 0, 2 } << QList<QSizeF> { a4Landscape };
        QTest::newRow("orientation 0 on a landscape printer")
            << 2 << QList<int> { 0, 0 } << QList<QSizeF> { a4Landscape };
        QTest::newRow("portrait on a landscape printer")
            << 2 << QList<int> { 0, 1 } << QList<QSizeF> { a4 };
        QTest::newRow("changed between pages") << 1 << QList<int> { Letter, 1, Legal, 2, 0, 0 }
                                               << QList<QSizeF> { letter, legalLandscape, a4 };
    }
    void paperAndOrientation()
    {
        QFETCH(int, defaultOrientation);
        QFETCH(QList<int>, settings);
        QFETCH(QList<QSizeF>, sizes);
        addPrinter(QStringLiteral("Turned"), m_pdf, A4, rt::Int(defaultOrientation));
        auto p = printer(QStringLiteral("Turned"));
        for (int page = 0; page < sizes.size(); ++page) {
            p->setPaperSize(rt::Int(settings.at(page * 2)));
            p->setOrientation(settings.at(page * 2 + 1));
            p->NVPrint(QStringLiteral("page %1").arg(page + 1), 4);
        }
        p->EndDoc();
        QCOMPARE(pdf::pages(m_pdf), sizes.size());
        for (int page = 0; page < sizes.size(); ++page) {
            const QSizeF size = pdf::pageSize(m_pdf, page + 1);
            QVERIFY2(near(size, sizes.at(page)),
                qPrintable(QStringLiteral("page %1: %2 x %3")
                               .arg(page + 1)
                               .arg(size.width())
                               .arg(size.height())));
            QCOMPARE(pdf::lines(m_pdf, page + 1),
                QStringList { QStringLiteral("page %1").arg(page + 1) });
        }
        print::removePdfPrinter(QStringLiteral("Turned"));
    }

    void fonts_data()
    {
        QTest::addColumn<QString>("face");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<QString>("pdfFont");
        QTest::newRow("DejaVu Sans") << "DejaVu Sans" << false << false << "DejaVuSans";
        QTest::newRow("bold") << "DejaVu Sans" << true << false << "DejaVuSans-Bold";
        QTest::newRow("italic") << "DejaVu Serif" << false << true << "DejaVuSerif-Italic";
        QTest::newRow("bold italic")
            << "DejaVu Sans Mono" << true << true << "DejaVuSansMono-BoldOblique";
    }
    void fonts()
    {
        QFETCH(QString, face);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(QString, pdfFont);
        auto p = printer();
        p->SelectFont(face, 10, bold, italic);
        const rt::Long small = p->TextHeight(QStringLiteral("Ag"));
        p->SelectFont(face, 20, bold, italic);
        const rt::Long large = p->TextHeight(QStringLiteral("Ag"));
        QVERIFY2(std::abs(large - 2 * small) <= 2,
            qPrintable(QStringLiteral("%1 %2").arg(small).arg(large)));
        QCOMPARE(p->FontName(), face);
        QCOMPARE(p->FontSize(), 20.0f);
        QCOMPARE(p->FontBold(), bold);
        QCOMPARE(p->FontItalic(), italic);
        p->NVPrint(QStringLiteral("Sample"));
        p->EndDoc();
        const QStringList fonts = pdf::fonts(m_pdf);
        QCOMPARE(fonts.size(), 1);
        QCOMPARE(fonts.first().section(u'+', -1), pdfFont); // without a subset prefix
    }

    // Boxes, brushes and pens, read off the rendered page.
    void boxes_data()
    {
        QTest::addColumn<QList<int>>("box"); // x1, y1, x2, y2, relative, outline, fill
        QTest::addColumn<int>("brush");
        QTest::addColumn<QStringList>("expected"); // at the centre, on the left edge, outside
        QTest::newRow("outline and fill") << QList<int> { 1440, 1440, 2880, 2880, 0, 1, 1 } << 0
                                          << QStringList { "red", "blue", "white" };
        QTest::newRow("outline only") << QList<int> { 1440, 1440, 2880, 2880, 0, 1, 0 } << 0
                                      << QStringList { "white", "blue", "white" };
        QTest::newRow("fill only") << QList<int> { 1440, 1440, 2880, 2880, 0, 0, 1 } << 0
                                   << QStringList { "red", "red", "white" };
        QTest::newRow("fill only, corners swapped") << QList<int> { 2880, 2880, 1440, 1440, 0, 0,
            1 } << 0 << QStringList { "red", "red", "white" };
        QTest::newRow("relative to the position") << QList<int> { 720, 720, 2160, 2160, 1, 0, 1 }
                                                  << 0 << QStringList { "red", "red", "white" };
        QTest::newRow("hollow brush") << QList<int> { 1440, 1440, 2880, 2880, 0, 1, 1 } << 1
                                      << QStringList { "white", "blue", "white" };
        QTest::newRow("neither") << QList<int> { 1440, 1440, 2880, 2880, 0, 0, 0 } << 0
                                 << QStringList { "white", "white", "white" };
    }
    void boxes()
    {
        QFETCH(QList<int>, box);
        QFETCH(int, brush);
        QFETCH(QStringList, expected);
        auto p = printer();
        p->SelectPen(0, 40, Blue);
        p->SelectBrush(rt::Int(brush), Red);
        p->setCurrentX(720);
        p->setCurrentY(720);
        p->DrawBox(
            box[0], box[1], box[2], box[3], rt::Int(box[4]), rt::Int(box[5]), rt::Int(box[6]));
        p->EndDoc();
        const QImage page = pdf::render(m_pdf, 1, RenderDpi);
        QVERIFY(!page.isNull());
        QCOMPARE(colourAt(page, 2160, 2160), expected.at(0));
        QCOMPARE(colourAt(page, 1440, 2160), expected.at(1));
        QCOMPARE(colourAt(page, 4320, 4320), expected.at(2));
    }

    void hatchedBrush_data()
    {
        QTest::addColumn<int>("style");
        QTest::newRow("6: cross") << 6;
        QTest::newRow("7: diagonal cross") << 7;
    }
    // A hatched brush leaves the background between its lines.
    void hatchedBrush()
    {
        QFETCH(int, style);
        auto p = printer();
        p->SelectBrush(rt::Int(style), Red);
        p->DrawBox(1440, 1440, 4320, 4320, 0, 0, 1);
        p->EndDoc();
        const QImage page = pdf::render(m_pdf, 1, 300);
        QSet<QString> seen;
        for (int x = 1440; x < 4320; x += 7)
            seen << colourAt(page.scaled(page.size() * 72 / 300), x, 2880);
        QVERIFY2(seen.contains(QStringLiteral("white")) && seen.size() > 1,
            qPrintable(QStringList(seen.begin(), seen.end()).join(u',')));
    }

    void textColour()
    {
        auto p = printer();
        p->SelectFont(QStringLiteral("DejaVu Sans"), 48, true, false);
        p->setForeColor(Red);
        QCOMPARE(p->ForeColor(), Red);
        p->NVPrint(QStringLiteral("IIII"));
        p->EndDoc();
        const QImage page = pdf::render(m_pdf, 1, RenderDpi);
        QSet<QString> seen;
        for (int x = 0; x < 2000; x += 10)
            seen << colourAt(page, x, 600);
        QVERIFY(seen.contains(QStringLiteral("red")));
        QVERIFY(!seen.contains(QStringLiteral("black")));
    }

    // The object's handles and page counter through a job's life.
    void lifecycle()
    {
        auto p = printer();
        QCOMPARE(p->hdc(), 0);
        QCOMPARE(p->PrinterHandle(), 0);
        QCOMPARE(p->DocName(), QString());
        QCOMPARE(p->Width(), 11900);
        QVERIFY(p->hdc() != 0);
        QVERIFY(p->PrinterHandle() != 0);
        QCOMPARE(p->DocName(), QStringLiteral("Print Job"));
        QCOMPARE(p->Page(), 1);
        p->NewPage();
        QCOMPARE(p->Page(), 2);
        p->setPage(7);
        QCOMPARE(p->Page(), 7);
        p->NVClose();
        QCOMPARE(p->hdc(), 0);
        QCOMPARE(p->PrinterHandle(), 0);
        QCOMPARE(pdf::pages(m_pdf), 2);
        // Closing again does nothing.
        QFile::remove(m_pdf);
        p->NVClose();
        p->EndDoc();
        QVERIFY(!QFile::exists(m_pdf));
    }

    void documentName()
    {
        auto p = printer();
        p->setDocName(QStringLiteral("Monthly report"));
        p->NVPrint(QStringLiteral("first"));
        p->EndDoc();
        QVERIFY(pdf::run(QStringLiteral("pdfinfo"), { m_pdf })
                    .contains(QLatin1String("Monthly report")));
        // The next output starts a new document on the same device context, same name.
        const rt::Long hdc = p->hdc();
        p->NVPrint(QStringLiteral("second"));
        p->EndDoc();
        QCOMPARE(p->hdc(), hdc);
        QCOMPARE(pdf::lines(m_pdf), QStringList { "second" });
        QVERIFY(pdf::run(QStringLiteral("pdfinfo"), { m_pdf })
                    .contains(QLatin1String("Monthly report")));
    }

    void abortDoc()
    {
        auto p = printer();
        p->setDocName(QStringLiteral("Thrown away"));
        p->NVPrint(QStringLiteral("page one"), 4);
        p->NVPrint(QStringLiteral("half of page two"), 3);
        p->AbortDoc();
        QCOMPARE(p->hdc(), 0);
        QCOMPARE(p->DocName(), QString());
        QVERIFY(!QFile::exists(m_pdf));
        QCOMPARE(p->Page(), 1);
        p->NVPrint(QStringLiteral("again"));
        p->EndDoc();
        QCOMPARE(pdf::lines(m_pdf), QStringList { "again" });
        QVERIFY(
            pdf::run(QStringLiteral("pdfinfo"), { m_pdf }).contains(QLatin1String("Print Job")));
    }

    // A document that cannot be written is reported, and the object carries on.
    void documentNotWritten()
    {
        const QString nowhere = m_dir.filePath(QStringLiteral("missing/out.pdf"));
        addPrinter(QStringLiteral("Broken"), nowhere);
        auto p = printer(QStringLiteral("Broken"));
        p->NVPrint(QStringLiteral("lost"));
        const rt::Error error = raisedError([&] { p->EndDoc(); });
        QCOMPARE(error.number, rt::err::PrinterFailure);
        QVERIFY2(
            error.description.startsWith(QLatin1String("The document could not be printed - ")),
            qPrintable(error.description));
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("missing"))));
        p->NVPrint(QStringLiteral("kept"));
        p->NVClose();
        QCOMPARE(pdf::lines(nowhere), QStringList { "kept" });
        print::removePdfPrinter(QStringLiteral("Broken"));
    }

    // No print service and no printer named: the user is asked, and Cancel ends it.
    void noPrinters_data()
    {
        QTest::addColumn<QList<rt::Int>>("answers");
        QTest::addColumn<int>("prompts");
        QTest::newRow("cancel") << QList<rt::Int> { MsgBox::Cancel } << 1;
        QTest::newRow("retry, then cancel")
            << QList<rt::Int> { MsgBox::Retry, MsgBox::Cancel } << 2;
    }
    void noPrinters()
    {
        QFETCH(QList<rt::Int>, answers);
        QFETCH(int, prompts);
        m_answers = answers;
        nvPrinter p;
        QCOMPARE(p.DeviceName(), QString());
        const rt::Error error = raisedError([&] { p.NVPrint(QStringLiteral("text"), 3); });
        QCOMPARE(error.number, rt::err::PrinterFailure);
        QCOMPARE(error.description, QStringLiteral("There are no printers available"));
        QCOMPARE(
            m_prompts, QStringList(prompts, QStringLiteral("There are no printers available|53")));
        QCOMPARE(p.hdc(), 0);
        QCOMPARE(p.Papers().Count(), 0);
    }

    // A printer that went away between choosing and printing.
    void printerGone()
    {
        addPrinter(QStringLiteral("Gone"), m_pdf);
        auto p = printer(QStringLiteral("Gone on /dev/null"));
        QCOMPARE(p->DeviceName(), QStringLiteral("Gone"));
        print::removePdfPrinter(QStringLiteral("Gone"));
        const rt::Error error = raisedError([&] { p->NVPrint(QStringLiteral("text"), 3); });
        QCOMPARE(error.number, rt::err::SpoolerUnavailable);
        QCOMPARE(error.description, QStringLiteral("Could not open printer - Gone"));
        QCOMPARE(m_prompts, QStringList { "Could not open printer - Gone|53" });
        QVERIFY(!QFile::exists(m_pdf));
    }

    // A page with text in several fonts, boxes with each brush and pen style; with
    // NORVALIS_SCREENSHOT set, the page rendered at 100 dots per inch is saved there.
    void samplePage()
    {
        auto p = printer();
        p->setDocName(QStringLiteral("Sample page"));
        p->setCurrentX(1440);
        p->setCurrentY(1440);
        p->SelectFont(QStringLiteral("DejaVu Sans"), 18, true, false);
        p->NVPrint(QStringLiteral("Norvalis sample page"), 2);
        p->setCurrentX(1440);
        p->SelectFont(QStringLiteral("Courier New"), 10, false, false);
        for (int i = 1; i <= 3; ++i) {
            p->setCurrentX(1440);
            p->NVPrint(QStringLiteral("%1. The quick brown fox jumps over the lazy dog").arg(i), 2);
        }
        p->setForeColor(Red);
        p->setCurrentX(1440);
        p->NVPrint(QStringLiteral("Red text"), 2);
        p->setForeColor(Black);
        for (rt::Int style = 0; style < 8; ++style) {
            const rt::Long x = 1440 + (style % 4) * 2400;
            const rt::Long y = 4320 + (style / 4) * 2400;
            p->SelectPen(rt::Int(style % 5), style < 4 ? 0 : 30, Blue);
            p->SelectBrush(style, style == 0 ? Red : Black);
            p->DrawBox(x, y, x + 2000, y + 2000, 0, 1, 1);
        }
        p->setCurrentX(1440);
        p->setCurrentY(9500);
        p->NVPrint(QStringLiteral("Brushes: solid, hollow, horizontal, vertical, forward, "
                                  "backward, cross, diagonal cross"));
        p->EndDoc();
        QCOMPARE(pdf::pages(m_pdf), 1);
        QCOMPARE(pdf::lines(m_pdf).first().trimmed(), QStringLiteral("Norvalis sample page"));
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (!out.isEmpty())
            QVERIFY(pdf::render(m_pdf, 1, 100).save(out));
    }
};

QTEST_MAIN(tst_nvprinter)
#include "tst_nvprinter.moc"
