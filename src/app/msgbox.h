#pragma once
// The program's own message window: sized to its text, one of three icons, one of six button
// sets, an optional "do not show again" check box, plain letter keys as hot keys, and the
// application's mouse pointer kept outside the window while it is open. One window serves every
// message; it stays loaded and hidden between messages.

#include "runtime/form.h"

#include <QList>
#include <QRect>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace MsgBox {

// Button codes (results).
enum Code : rt::Int { OK = 1, Cancel = 2, Retry = 4, Yes = 6, No = 7, All = 8 };
// Styles (flags): one button set (flags And 15), one icon (flags And 240), and the check box.
enum Style : rt::Int {
    OKOnly = 0,
    YesNoCancel = 3,
    YesNo = 4,
    RetryCancel = 5,
    YesAllNo = 6,
    YesAllNoCancel = 7,
    ButtonSetMask = 15,
    Question = 32,
    Exclamation = 48,
    IconMask = 240,
    NotAgainFlag = 256, // the "do not show again" check box; its tick adds 256 to the result
    DefaultSecond = 512, // the set's second button is the default (Enter, the focus, no one to answer)
};

struct ButtonSet
{
    QList<rt::Int> codes; // left to right
    rt::Long minWidth = 0; // window width in twips
    rt::Int defaultCode = 0; // Enter and the focus
    rt::Int escapeCode = 0; // Esc and the close box
};
// The set of flags And 15; any value without a set of its own is OK alone. Its first button is
// the default unless flags carry DefaultSecond.
ButtonSet buttonSet(rt::Int flags);

enum class Icon { Information, Question, Exclamation };
// Icon bits (flags And 240): 32 question, 48 exclamation, anything else information.
Icon iconOf(rt::Int flags);

// What the layout needs to know of the window's controls and the screen, in twips.
struct Metrics
{
    rt::Long screenWidth = 0;
    rt::Long screenHeight = 0;
    rt::Long lineHeight = 0; // one text line of the message font
    rt::Long messageLeft = 0;
    rt::Long messageTop = 0;
    rt::Long checkWidth = 0;
    rt::Long checkHeight = 0;
    rt::Long buttonHeight = 0;
    QList<rt::Long> buttonWidths; // one per button of the set, left to right
    // Distance from the window's bottom edge to the top of the buttons. 800 leaves room for a
    // classic caption, frame and button; taller buttons or frames need more, so that nothing is
    // cut off at the bottom.
    rt::Long buttonReserve = 800;
};

// One line of the prompt: its width on one row and, when known, the rows it wraps into at the
// limit width (0 to count whole multiples of the limit width only).
struct Line
{
    rt::Long width = 0;
    int wrappedRows = 0;
};

struct Layout
{
    rt::Long messageWidth = 0;
    rt::Long messageHeight = 0;
    rt::Long width = 0; // window, frame included
    rt::Long height = 0;
    bool checkVisible = false;
    rt::Long checkTop = 0;
    rt::Long buttonTop = 0;
    QList<rt::Long> buttonLefts;
    rt::Long limitWidth = 0;
    int rows = 0;
};

// Spacing between the buttons of a row and the least margin left and right of the row.
constexpr rt::Long ButtonGap = 200;

// The widest a line of text may be before it wraps: half the screen.
rt::Long textLimitWidth(const Metrics &metrics);

// Sizes the window for prompt lines (split at LF) with flags.
Layout computeLayout(const Metrics &metrics, const QList<Line> &lines, rt::Int flags);

} // namespace MsgBox

class frmMsgBox : public rt::Form
{
    Q_OBJECT
public:
    explicit frmMsgBox(QObject *parent = nullptr);

    // The program's one message window (made on first use, owned by the application).
    static frmMsgBox &instance();

    // Shows prompt (lines separated by LF) modally over owner and returns the code of the button
    // chosen, plus 256 when flags carry 256 and the check box was ticked. A message asked for
    // while another is on screen is answered at once with its escape code, without a window; when
    // nobody can answer (runtime/interaction.h) a message gets its default button's code at once
    // and the log says so.
    rt::Int ShowMessage(const QString &prompt, rt::Int flags, QWidget *owner);

    // Tests answer messages through this hook instead of the window: it gets the prompt and the
    // flags and returns the result. An empty hook restores the window.
    using AnswerHook = std::function<rt::Int(const QString &prompt, rt::Int flags)>;
    static void setAnswerHook(AnswerHook hook);

    // The layout of the last message shown.
    const MsgBox::Layout &layout() const { return m_layout; }
    rt::Int defaultCode() const { return m_defaultCode; }
    rt::Int escapeCode() const { return m_escapeCode; }

    QLabel *lbMessage = nullptr;
    QLabel *imgInfo = nullptr;
    QLabel *imgQuest = nullptr;
    QLabel *imgExcl = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdRetry = nullptr;
    QPushButton *cmdYes = nullptr;
    QPushButton *cmdNo = nullptr;
    QPushButton *cmdAll = nullptr;
    QCheckBox *chkNotAgain = nullptr;
    QTimer *Timer = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Activate() override;
    void Form_KeyDown(rt::Int &keyCode, rt::Int shift) override;
    void Form_QueryUnload(rt::Int &cancel, rt::Int unloadMode) override;

private:
    void cmdOK_Click() { answer(MsgBox::OK); }
    void cmdCancel_Click() { answer(MsgBox::Cancel); }
    void cmdRetry_Click() { answer(MsgBox::Retry); }
    void cmdYes_Click() { answer(MsgBox::Yes); }
    void cmdNo_Click() { answer(MsgBox::No); }
    void cmdAll_Click() { answer(MsgBox::All); }
    void Timer_Timer();

    void answer(rt::Int code);
    void focusDefault();
    QPushButton *button(rt::Int code) const;
    QList<QPushButton *> buttons() const;
    MsgBox::Metrics measure(const MsgBox::ButtonSet &set) const;
    QList<MsgBox::Line> measureLines(const QString &prompt, rt::Long limitWidth) const;
    void applyLayout(const QString &prompt, rt::Int flags);

    rt::Int m_result = 0;
    rt::Int m_defaultCode = 0;
    rt::Int m_escapeCode = 0;
    rt::Int m_savedPointer = 0;
    bool m_showing = false;
    MsgBox::Layout m_layout;
};
