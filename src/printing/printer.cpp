#include "printing/printer.h"

#include "printing/nvprinter.h"
#include "runtime/controls.h"
#include "runtime/screen.h"
#include "runtime/values.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

const QString PrinterDefault = QStringLiteral("Use Printer Default");

frmPrinter::FontHook &fontHook()
{
    static frmPrinter::FontHook hook;
    return hook;
}

// A value shown in a sunken box, as the dialog shows the font's name and size.
QLabel *valueLabel(QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(140);
    return label;
}

// The choice of a list: 0 for its first entry, the collection's identifier at the chosen place
// for the others; nothing when no entry is chosen.
template<class Collection, class Id>
std::optional<rt::Int> chosenId(const QComboBox *list, const Collection &entries, Id id)
{
    const int index = list->currentIndex();
    if (index < 0)
        return std::nullopt;
    if (index == 0)
        return rt::Int(0);
    const auto *entry = entries.item(QVariant(index));
    if (!entry)
        return std::nullopt;
    return rt::Int(entry->*id);
}

// Fills a list with the default entry and, when there is more than one, the collection's names;
// the entry of the current identifier is selected (none when it is not there).
template<class Collection, class Id, class Name>
void fillList(QComboBox *list, const Collection &entries, Id id, Name name, rt::Int current)
{
    list->clear();
    list->addItem(PrinterDefault);
    int selected = current == 0 ? 0 : -1;
    const bool offered = entries.Count() > 1;
    if (offered) {
        for (const auto &entry : entries) {
            list->addItem(entry.*name);
            if (current != 0 && entry.*id == current)
                selected = list->count() - 1;
        }
    }
    list->setEnabled(offered);
    list->setCurrentIndex(selected);
}

} // namespace

frmPrinter::frmPrinter(QObject *parent)
    : rt::Form(QStringLiteral("frmPrinter"), parent)
{ }

void frmPrinter::setFontHook(FontHook hook)
{
    fontHook() = std::move(hook);
}

QWidget *frmPrinter::createWidgets()
{
    auto *dialog = new QDialog;
    dialog->setWindowTitle(QStringLiteral("Advanced Printer Properties"));
    lblPrinter = new QLabel(dialog);

    auto *fontFrame = new QGroupBox(QStringLiteral("Default Font"), dialog);
    lblName = valueLabel(fontFrame);
    lblSize = valueLabel(fontFrame);
    frmBoldItalic = new QFrame(fontFrame);
    ckBold = new QCheckBox(QStringLiteral("Bold"), frmBoldItalic);
    ckItalic = new QCheckBox(QStringLiteral("Italic"), frmBoldItalic);
    auto *boldItalic = new QHBoxLayout(frmBoldItalic);
    boldItalic->setContentsMargins(0, 0, 0, 0);
    boldItalic->addWidget(ckBold);
    boldItalic->addWidget(ckItalic);
    boldItalic->addStretch();
    cmdChangeFont = new QPushButton(QStringLiteral("Change Font..."), fontFrame);
    auto *fontGrid = new QGridLayout(fontFrame);
    fontGrid->addWidget(new QLabel(QStringLiteral("Font Name"), fontFrame), 0, 0);
    fontGrid->addWidget(lblName, 0, 1);
    fontGrid->addWidget(new QLabel(QStringLiteral("Size"), fontFrame), 1, 0);
    fontGrid->addWidget(lblSize, 1, 1);
    fontGrid->addWidget(frmBoldItalic, 2, 0, 1, 2);
    fontGrid->addWidget(cmdChangeFont, 3, 0, 1, 2, Qt::AlignLeft);

    auto *orientationFrame = new QGroupBox(QStringLiteral("Orientation"), dialog);
    opPortrait = new QRadioButton(QStringLiteral("Portrait"), orientationFrame);
    opLandscape = new QRadioButton(QStringLiteral("Landscape"), orientationFrame);
    opDefault = new QRadioButton(QStringLiteral("Use Printer Default"), orientationFrame);
    auto *orientations = new QVBoxLayout(orientationFrame);
    orientations->addWidget(opPortrait);
    orientations->addWidget(opLandscape);
    orientations->addWidget(opDefault);
    orientations->addStretch();

    auto *paperFrame = new QGroupBox(QStringLiteral("Paper"), dialog);
    cboPaperSize = new QComboBox(paperFrame);
    cboSource = new QComboBox(paperFrame);
    for (QComboBox *list : { cboPaperSize, cboSource })
        list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cboPaperSize->setMinimumContentsLength(24);
    cboSource->setMinimumContentsLength(24);
    auto *paperGrid = new QGridLayout(paperFrame);
    paperGrid->addWidget(new QLabel(QStringLiteral("Paper Size:"), paperFrame), 0, 0);
    paperGrid->addWidget(cboPaperSize, 0, 1);
    paperGrid->addWidget(new QLabel(QStringLiteral("Paper Source:"), paperFrame), 1, 0);
    paperGrid->addWidget(cboSource, 1, 1);
    paperGrid->setColumnStretch(1, 1);

    cmdOK = new QPushButton(QStringLiteral("OK"), dialog);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto *frames = new QHBoxLayout;
    frames->addWidget(fontFrame, 1);
    frames->addWidget(orientationFrame);
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(lblPrinter);
    layout->addLayout(frames);
    layout->addWidget(paperFrame);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    rt::onClick(cmdOK, this, [this] { cmdOK_Click(); });
    rt::onClick(cmdCancel, this, [this] { cmdCancel_Click(); });
    rt::onClick(cmdChangeFont, this, [this] { cmdChangeFont_Click(); });
    return dialog;
}

void frmPrinter::Form_Load()
{
    rt::setMousePointer(rt::vbDefault);
    m_okPushed = false;
}

void frmPrinter::Form_Activate()
{
    rt::setMousePointer(rt::vbDefault);
}

void frmPrinter::Form_Unload(rt::Int &cancel)
{
    Q_UNUSED(cancel);
    m_printer = nullptr;
}

void frmPrinter::setNvPrinter(nvPrinter *printer)
{
    if (!printer)
        return;
    m_printer = printer;
    load();
    fillFrom(*printer);
}

void frmPrinter::fillFrom(nvPrinter &printer)
{
    lblPrinter->setText(QStringLiteral("Printer: ") + printer.DeviceName());
    lblName->setText(printer.FontName());
    lblSize->setText(rt::CStr(printer.FontSize()));
    ckBold->setChecked(printer.FontBold());
    ckItalic->setChecked(printer.FontItalic());
    switch (printer.Orientation()) {
    case 0:
        opDefault->setChecked(true);
        break;
    case 1:
        opPortrait->setChecked(true);
        break;
    default:
        opLandscape->setChecked(true);
        break;
    }
    fillList(
        cboPaperSize, printer.Papers(), &Paper::PaperIndex, &Paper::PaperName, printer.PaperSize());
    fillList(cboSource, printer.Bins(), &Bin::BinIndex, &Bin::BinName, printer.PaperBin());
}

frmPrinter::FontChoice frmPrinter::currentFont() const
{
    return { lblName->text(), rt::CInt(rt::Val(lblSize->text())), ckBold->isChecked(),
        ckItalic->isChecked() };
}

// The font dialog offers fixed-pitch faces only.
void frmPrinter::cmdChangeFont_Click()
{
    const FontChoice current = currentFont();
    std::optional<FontChoice> chosen;
    if (fontHook()) {
        chosen = fontHook()(current);
    } else {
        QFont initial(current.name);
        if (current.size > 0)
            initial.setPointSize(current.size);
        initial.setBold(current.bold);
        initial.setItalic(current.italic);
        bool ok = false;
        const QFont font = QFontDialog::getFont(&ok, initial, widget(), QString(),
            QFontDialog::MonospacedFonts | QFontDialog::DontUseNativeDialog);
        if (ok)
            chosen = FontChoice { font.family(), rt::Int(font.pointSize()), font.bold(),
                font.italic() };
    }
    if (!chosen)
        return;
    lblName->setText(chosen->name);
    lblSize->setText(QString::number(chosen->size));
    ckBold->setChecked(chosen->bold);
    ckItalic->setChecked(chosen->italic);
}

void frmPrinter::cmdOK_Click()
{
    if (m_printer) {
        const FontChoice font = currentFont();
        m_printer->SelectFont(font.name, font.size, font.bold, font.italic);
        m_printer->setOrientation(opDefault->isChecked() ? 0 : opPortrait->isChecked() ? 1 : 2);
        // A list with nothing chosen keeps the object's value.
        if (const auto paper = chosenId(cboPaperSize, m_printer->Papers(), &Paper::PaperIndex))
            m_printer->setPaperSize(*paper);
        if (const auto bin = chosenId(cboSource, m_printer->Bins(), &Bin::BinIndex))
            m_printer->setPaperBin(*bin);
    }
    m_okPushed = true;
    hide();
}

void frmPrinter::cmdCancel_Click()
{
    hide();
}
