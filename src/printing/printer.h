#pragma once
// The printer settings dialog, "Advanced Printer Properties": the paper size, paper source,
// orientation and default font of a printer object. The caller hands it the object
// (setNvPrinter fills the dialog from it), shows it modally and reads OkPushed: OK writes the
// choices back into the object, Cancel leaves the object as it was.
//
// A paper list shows "Use Printer Default" and, when the printer offers more than one, its papers
// by name; a current value the printer does not offer selects nothing, and OK then keeps it. The
// source list works the same way with the printer's bins.

#include "runtime/form.h"

#include <functional>
#include <optional>

class nvPrinter;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;

class frmPrinter : public rt::Form
{
    Q_OBJECT
public:
    explicit frmPrinter(QObject *parent = nullptr);

    // Stores the object and fills the dialog from it (loading the dialog); nullptr does nothing.
    void setNvPrinter(nvPrinter *printer);
    bool OkPushed() const { return m_okPushed; }

    // The font the font dialog starts from and answers.
    struct FontChoice
    {
        QString name;
        rt::Int size = 0;
        bool bold = false;
        bool italic = false;
    };
    // Tests answer the font dialog through this hook instead of a window (nothing: cancelled).
    using FontHook = std::function<std::optional<FontChoice>(const FontChoice &current)>;
    static void setFontHook(FontHook hook);

    QLabel *lblPrinter = nullptr;
    QLabel *lblName = nullptr;
    QLabel *lblSize = nullptr;
    QFrame *frmBoldItalic = nullptr;
    QCheckBox *ckBold = nullptr;
    QCheckBox *ckItalic = nullptr;
    QPushButton *cmdChangeFont = nullptr;
    QRadioButton *opPortrait = nullptr;
    QRadioButton *opLandscape = nullptr;
    QRadioButton *opDefault = nullptr;
    QComboBox *cboPaperSize = nullptr;
    QComboBox *cboSource = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Unload(rt::Int &cancel) override;

private:
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdChangeFont_Click();
    void fillFrom(nvPrinter &printer);
    void fillPapers(nvPrinter &printer);
    void fillBins(nvPrinter &printer);
    FontChoice currentFont() const;

    nvPrinter *m_printer = nullptr;
    bool m_okPushed = false;
};
