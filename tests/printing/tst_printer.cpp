#include "platform/tst_print_cupsd.h"
#include "platform/tst_print_pdf.h"
#include "print/spooler.h"
#include "printing/nvprinter.h"
#include "printing/printer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

// Identifiers of the test printer's papers and bins.
constexpr rt::Int Letter = 1;
constexpr rt::Int Legal = 5;
constexpr rt::Int A4 = 9;
constexpr rt::Int Manual = 4;

QStringList items(const QComboBox *list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->itemText(i);
    return names;
}

} // namespace

class tst_printer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;
    std::optional<frmPrinter::FontChoice> m_fontAnswer;
    QList<frmPrinter::FontChoice> m_fontAsked;

    // The printer object on the test printer, with the dialog filled from it.
    struct Fixture
    {
        nvPrinter printer;
        frmPrinter form;
        ~Fixture() { form.unload(); }
    };

    std::unique_ptr<Fixture> open(rt::Long orientation = 0, rt::Int paper = 0, rt::Int bin = 0,
        const QString &name = QStringLiteral("Office"))
    {
        auto f = std::make_unique<Fixture>();
        f->printer.setDeviceName(name);
        f->printer.setOrientation(orientation);
        f->printer.setPaperSize(paper);
        f->printer.setPaperBin(bin);
        f->form.setNvPrinter(&f->printer);
        f->form.show();
        return f;
    }

private slots:
    void initTestCase()
    {
        const QString missing = pdf::missingTools();
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        useNoPrintService(m_dir.path());
        m_pdf = m_dir.filePath(QStringLiteral("out.pdf"));
        print::PrinterInfo office = print::pdfPrinter(QStringLiteral("Office"), m_pdf);
        office.defaultPaper = A4;
        office.bins = { { 7, QStringLiteral("Automatically Select"), QStringLiteral("auto") },
            { Manual, QStringLiteral("Manual Feed"), QStringLiteral("manual") } };
        print::addPdfPrinter(office);
        print::PrinterInfo single = print::pdfPrinter(QStringLiteral("Single"), m_pdf);
        single.papers = { office.papers.at(5) }; // A4 alone
        single.defaultPaper = A4;
        print::addPdfPrinter(single);
        frmPrinter::setFontHook([this](const frmPrinter::FontChoice &current) {
            m_fontAsked << current;
            return m_fontAnswer;
        });
    }

    void cleanupTestCase() { frmPrinter::setFontHook(nullptr); }

    void init()
    {
        QFile::remove(m_pdf);
        m_fontAnswer.reset();
        m_fontAsked.clear();
    }

    void fill_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("bin");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("paperShown");
        QTest::addColumn<QString>("sourceShown");
        QTest::newRow("printer defaults") << 0 << 0 << 0 << "Use Printer Default"
                                          << "Use Printer Default"
                                          << "Use Printer Default";
        QTest::newRow("portrait on legal") << 1 << 5 << 0 << "Portrait"
                                           << "Legal"
                                           << "Use Printer Default";
        QTest::newRow("landscape, manual feed") << 2 << 0 << 4 << "Landscape"
                                                << "Use Printer Default"
                                                << "Manual Feed";
    }
    void fill()
    {
        QFETCH(int, orientation);
        QFETCH(int, paper);
        QFETCH(int, bin);
        QFETCH(QString, option);
        QFETCH(QString, paperShown);
        QFETCH(QString, sourceShown);
        auto f = open(orientation, rt::Int(paper), rt::Int(bin));
        frmPrinter &form = f->form;
        QCOMPARE(form.widget()->windowTitle(), QStringLiteral("Advanced Printer Properties"));
        QCOMPARE(form.lblPrinter->text(), QStringLiteral("Printer: Office"));
        QCOMPARE(form.lblName->text(), QStringLiteral("Courier New"));
        QCOMPARE(form.lblSize->text(), QStringLiteral("10"));
        QVERIFY(!form.ckBold->isChecked() && !form.ckItalic->isChecked());
        for (QRadioButton *op : { form.opPortrait, form.opLandscape, form.opDefault })
            QCOMPARE(op->isChecked(), op->text() == option);
        QCOMPARE(form.cboPaperSize->currentText(), paperShown);
        QCOMPARE(form.cboSource->currentText(), sourceShown);
        // Papers by name, sources in the printer's order, each after the default entry.
        QCOMPARE(items(form.cboPaperSize).mid(0, 4),
            QStringList({ "Use Printer Default", "A3", "A4", "A5" }));
        QCOMPARE(items(form.cboSource),
            QStringList({ "Use Printer Default", "Automatically Select", "Manual Feed" }));
        QVERIFY(form.cboPaperSize->isEnabled() && form.cboSource->isEnabled());
        QVERIFY(!form.OkPushed());
    }

    // One paper size (and no sources): only the default entry, and the list cannot be opened.
    void singlePaper()
    {
        auto f = open(0, 0, 0, QStringLiteral("Single"));
        QCOMPARE(items(f->form.cboPaperSize), QStringList { "Use Printer Default" });
        QVERIFY(!f->form.cboPaperSize->isEnabled());
        QVERIFY(!f->form.cboSource->isEnabled());
    }

    // Orientation, paper and source through the widgets; the next job uses them.
    void okWritesBack()
    {
        auto f = open(0, A4, 0);
        frmPrinter &form = f->form;
        form.opLandscape->click();
        form.cboPaperSize->setCurrentIndex(form.cboPaperSize->findText(QStringLiteral("Legal")));
        form.cboSource->setCurrentIndex(form.cboSource->findText(QStringLiteral("Manual Feed")));
        form.cmdOK->click();
        QVERIFY(form.OkPushed());
        QVERIFY(!form.isVisible());
        QCOMPARE(f->printer.Orientation(), 2);
        QCOMPARE(f->printer.PaperSize(), Legal);
        QCOMPARE(f->printer.PaperBin(), Manual);
        f->printer.NVPrint(QStringLiteral("after the dialog"));
        f->printer.EndDoc();
        const QSizeF size = pdf::pageSize(m_pdf, 1);
        QVERIFY2(std::abs(size.width() - 1008) < 1 && std::abs(size.height() - 612) < 1,
            qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
    }

    void defaultsChosen()
    {
        auto f = open(1, Letter, Manual);
        f->form.opDefault->click();
        f->form.cboPaperSize->setCurrentIndex(0);
        f->form.cboSource->setCurrentIndex(0);
        f->form.cmdOK->click();
        QCOMPARE(f->printer.Orientation(), 0);
        QCOMPARE(f->printer.PaperSize(), 0);
        QCOMPARE(f->printer.PaperBin(), 0);
    }

    // A paper size the printer does not offer selects nothing, and OK keeps it.
    void currentPaperNotOffered()
    {
        auto f = std::make_unique<Fixture>();
        f->printer.setDeviceName(QStringLiteral("Office"));
        f->printer.setPaperSize(Legal);
        f->printer.setDeviceName(QStringLiteral("Single"));
        f->form.setNvPrinter(&f->printer);
        QCOMPARE(f->form.cboPaperSize->currentIndex(), -1);
        f->form.cmdOK->click();
        QVERIFY(f->form.OkPushed());
        QCOMPARE(f->printer.PaperSize(), Legal);
    }

    void fontChosen_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("font"); // on the printer object at the end
        QTest::newRow("chosen, OK") << true << true << "DejaVu Sans Mono 14 bold";
        QTest::newRow("chosen, Cancel") << true << false << "Courier New 10";
        QTest::newRow("font dialog cancelled, OK") << false << true << "Courier New 10";
    }
    void fontChosen()
    {
        QFETCH(bool, answered);
        QFETCH(bool, ok);
        QFETCH(QString, font);
        auto f = open();
        frmPrinter &form = f->form;
        if (answered)
            m_fontAnswer
                = frmPrinter::FontChoice { QStringLiteral("DejaVu Sans Mono"), 14, true, false };
        form.cmdChangeFont->click();
        QCOMPARE(m_fontAsked.size(), 1);
        QCOMPARE(m_fontAsked.first().name, QStringLiteral("Courier New"));
        QCOMPARE(m_fontAsked.first().size, 10);
        QCOMPARE(form.lblName->text(), answered ? "DejaVu Sans Mono" : "Courier New");
        QCOMPARE(form.lblSize->text(), answered ? "14" : "10");
        QCOMPARE(form.ckBold->isChecked(), answered);
        (ok ? form.cmdOK : form.cmdCancel)->click();
        QCOMPARE(form.OkPushed(), ok);
        const nvPrinter &p = f->printer;
        QCOMPARE(QStringLiteral("%1 %2%3%4")
                     .arg(p.FontName())
                     .arg(p.FontSize())
                     .arg(p.FontBold() ? " bold" : "")
                     .arg(p.FontItalic() ? " italic" : ""),
            font);
    }

    void nothingSet()
    {
        frmPrinter form;
        form.setNvPrinter(nullptr);
        QVERIFY(!form.isLoaded());
    }

    // tests/screenshot.sh printing_tst_printer screenshot out.png
    void screenshot()
    {
        const QString out = qEnvironmentVariable("NORVALIS_SCREENSHOT");
        if (out.isEmpty())
            QSKIP("NORVALIS_SCREENSHOT names no file");
        auto f = open(2, Legal, Manual);
        QVERIFY(QTest::qWaitForWindowExposed(f->form.widget()));
        QVERIFY(f->form.widget()->grab().save(out));
    }
};

QTEST_MAIN(tst_printer)
#include "tst_printer.moc"
