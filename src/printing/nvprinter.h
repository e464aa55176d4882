#pragma once
// The printer object: a client sets the printer, the document name, paper size, paper source,
// orientation, font, colours and scale mode, and writes text and boxes. The object opens the
// printer, makes its device context, starts the document and each page only when output first
// needs them, and ends or throws them away on request.
//
// The set-up is a chain: output needs a page, a page a document, a document a device context,
// a device context an open printer. Opening a printer that fails is put to the user (Retry,
// Cancel); Cancel throws the document away and raises the failure: 32767 "There are no printers
// available", or the print service's number with "Could not open printer - " and the name.
// Validation raises 32767 with "The printer is invalid", "Paper Size Not Supported", "Bin Not
// Supported", "Invalid orientation" or "Invalid Scale Mode" before anything changes. A document
// the print service does not take raises 32767 when it ends; the object is ready for the next.
//
// Units: CurrentX, CurrentY, Width and Height are twips whatever the scale mode; the Scale*
// members, TextWidth, TextHeight and DrawBox work in logical units: twips in scale mode 1,
// device pixels in scale mode 3. Text is drawn where the current position is and moves it on.
//
// Text: NVPrint collects text up to a control character; CR returns to the left edge, LF moves
// down one line of the font (and past the bottom ends the page), FF ends the page (or, with no
// page open, opens one, so two in a row give an empty page); other control characters are
// dropped. The collected text is drawn as one piece.
//
// A page that only a question opened (Page, CurrentX, CurrentY, a bare line feed) and that is
// still empty when the document ends is left out: a job with nothing drawn prints nothing.

#include "printing/papers.h"
#include "runtime/error.h"

#include <QString>
#include <memory>
#include <optional>

namespace print {
class DeviceContext;
struct PrinterInfo;
struct DeviceMode;
} // namespace print

class nvPrinter
{
public:
    nvPrinter();
    ~nvPrinter(); // NVClose; a failure then is only logged
    nvPrinter(const nvPrinter &) = delete;
    nvPrinter &operator=(const nvPrinter &) = delete;

    // Loaded for the current printer on the first read after the printer changed.
    ::Papers &Papers();
    ::Bins &Bins();

    rt::Long BackColor() const { return m_backColor; }
    void setBackColor(rt::Long color);
    rt::Long CurrentX();
    void setCurrentX(rt::Long twips);
    rt::Long CurrentY();
    void setCurrentY(rt::Long twips);
    // The printer's name; empty means the default printer (whose name is answered then).
    QString DeviceName();
    // A name, or a name followed by " on " and a port; another printer closes the open one.
    void setDeviceName(const QString &name);
    QString DocName() const { return m_docName; }
    void setDocName(const QString &name) { m_docName = name; }
    // A box between two corners (relative: from the current position), outlined with the pen
    // and/or filled with the brush.
    void DrawBox(rt::Long x1, rt::Long y1, rt::Long x2, rt::Long y2, rt::Int relative,
        rt::Int outline, rt::Int fill);
    rt::Int PaperBin() const { return m_paperBin; }
    void setPaperBin(rt::Int id);
    rt::Int PaperSize() const { return m_paperSize; }
    void setPaperSize(rt::Int id);
    rt::Int DrawMode() const { return m_drawMode; }
    void setDrawMode(rt::Int mode);
    bool FontBold() const { return m_fontBold; }
    bool FontItalic() const { return m_fontItalic; }
    QString FontName() const { return m_fontName; }
    float FontSize() const { return m_fontSize; }
    rt::Long ForeColor() const { return m_foreColor; }
    void setForeColor(rt::Long color);
    // 0 until a device context or printer is needed.
    rt::Long hdc() const { return m_hdc; }
    rt::Long PrinterHandle() const { return m_printerHandle; }
    rt::Long Height();
    void NewPage();
    // 0 printer default, 1 portrait, 2 landscape.
    rt::Long Orientation() const { return m_orientation; }
    void setOrientation(rt::Long value);
    rt::Long Page();
    void setPage(rt::Long page) { m_page = page; }
    // 0 solid, 1 hollow, 2 horizontal, 3 vertical, 4 forward diagonal, 5 backward diagonal,
    // 6 cross, 7 diagonal cross; any other value hollow.
    void SelectBrush(rt::Int style, rt::Long color);
    void SelectFont(const QString &name, rt::Int size, bool bold, bool italic);
    void SelectPen(rt::Int style, rt::Int width, rt::Long color);
    // flags: 1 carriage return, 2 line feed, 4 form feed after the text.
    void NVPrint(const QString &text, quint8 flags = 0);
    rt::Long ScaleHeight();
    rt::Long ScaleLeft() const { return 0; }
    rt::Int ScaleMode() const { return m_scaleMode; }
    // 1 twips, 3 pixels.
    void setScaleMode(rt::Int mode);
    rt::Long ScaleTop() const { return 0; }
    rt::Long ScaleWidth();
    rt::Long ScaleX();
    void setScaleX(rt::Long x);
    rt::Long ScaleY();
    void setScaleY(rt::Long y);
    [[noreturn]] void ShowDialog();
    rt::Long TextHeight(const QString &text);
    rt::Long TextWidth(const QString &text);
    float TwipsPerPixelX();
    float TwipsPerPixelY();
    rt::Long Width();
    rt::Long Zoom() const { return 0; }
    void EndDoc();
    void AbortDoc();
    void NVClose();

private:
    // The set-up chain.
    void OpenPrinterDevice();
    void CreatePrinterDC();
    void StartDocument();
    void StartPrinterPage();
    void EndPrinterPage(bool documentEnds = false);
    void ReleasePrinter();
    void GetDefaultPrinter();
    // A failure put to the user: Retry returns, Cancel throws the document away and raises.
    void retryOrCancel(rt::Long number, const QString &text);

    print::DeviceContext &needDC();
    // A page for output; needPageToAsk marks a page opened only to answer a question.
    print::DeviceContext &needPage();
    print::DeviceContext &needPageToAsk();
    void FlushText();
    void PrintCR();
    void PrintLF();
    void PrintFF();
    void applyDeviceMode(rt::Int field, rt::Int value); // a changed paper, bin or orientation
    void applyPageSettings(); // what a page start resets
    void selectFontNow();

    // Printer
    QString m_deviceName;
    QString m_driverName;
    QString m_port;
    rt::Long m_printerHandle = 0;
    std::unique_ptr<print::PrinterInfo> m_printer;
    std::unique_ptr<print::DeviceMode> m_deviceMode;
    rt::Long m_hdc = 0;
    std::unique_ptr<print::DeviceContext> m_dc;
    rt::Int m_defaultPaperSize = 0;
    rt::Int m_defaultBin = 0;
    rt::Int m_defaultOrientation = 0;
    ::Papers m_papers;
    ::Bins m_bins;
    bool m_papersLoaded = false;
    bool m_binsLoaded = false;

    // Document and page
    QString m_docName;
    rt::Long m_job = 0;
    QString m_pending;
    rt::Long m_page = 0;
    rt::Int m_pageState = 0; // 0 no page, 1 open and empty, 2 with output
    bool m_pageToAsk = false;

    // Drawing settings
    bool m_fontSelected = false;
    bool m_penSelected = false;
    bool m_brushSelected = false;
    rt::Int m_scaleMode = 1;
    QString m_fontName = QStringLiteral("Courier New");
    rt::Int m_fontSize = 10;
    bool m_fontBold = false;
    bool m_fontItalic = false;
    rt::Long m_backColor = 0xFFFFFF;
    rt::Long m_foreColor = 0;
    rt::Int m_penStyle = 0;
    rt::Int m_penWidth = 0;
    rt::Long m_penColor = 0;
    rt::Int m_brushStyle = 0;
    rt::Long m_brushColor = 0xFFFFFF;
    rt::Int m_drawMode = 13;
    rt::Long m_orientation = 0;
    rt::Int m_paperSize = 0;
    rt::Int m_paperBin = 0;
};
