#include "app/msgbox.h"

#include "app/appglobals.h"
#include "runtime/controls.h"
#include "runtime/interaction.h"
#include "runtime/keyboard.h"
#include "runtime/screen.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace MsgBox {

namespace {

constexpr rt::Long MinMessageWidth = 500;
constexpr rt::Long MinMessageHeight = 200;
constexpr rt::Long RightMargin = 300; // right of the text, frame included
constexpr rt::Long TextToButtons = 200; // between the text and the button row
constexpr rt::Long ClassicButtonReserve = 800;
constexpr rt::Long MinHeight = 1550; // with the classic reserve: the icon above the buttons

// The buttons of a set, with its first button as the default.
ButtonSet buttonSetOf(rt::Int flags)
{
    switch (flags & ButtonSetMask) {
    case YesNoCancel:
        return { { Yes, No, Cancel }, 2880, Yes, Cancel };
    case YesNo:
        return { { Yes, No }, 2160, Yes, No };
    case RetryCancel:
        return { { Retry, Cancel }, 2160, Retry, Cancel };
    case YesAllNo:
        return { { Yes, All, No }, 2880, Yes, No };
    case YesAllNoCancel:
        return { { Yes, All, No, Cancel }, 3600, Yes, No };
    default:
        return { { OK }, 1440, OK, OK };
    }
}

} // namespace

ButtonSet buttonSet(rt::Int flags)
{
    ButtonSet set = buttonSetOf(flags);
    if ((flags & DefaultSecond) && set.codes.size() > 1)
        set.defaultCode = set.codes.at(1);
    return set;
}

Icon iconOf(rt::Int flags)
{
    switch (flags & IconMask) {
    case Question:
        return Icon::Question;
    case Exclamation:
        return Icon::Exclamation;
    default:
        return Icon::Information;
    }
}

rt::Long textLimitWidth(const Metrics &metrics)
{
    return std::max<rt::Long>(metrics.screenWidth / 2, MinMessageWidth);
}

Layout computeLayout(const Metrics &metrics, const QList<Line> &lines, rt::Int flags)
{
    const ButtonSet set = buttonSet(flags);
    Layout layout;

    // The text takes at most half the screen each way.
    layout.limitWidth = textLimitWidth(metrics);
    const rt::Long limitHeight = std::max<rt::Long>(metrics.screenHeight / 2, MinMessageHeight);
    rt::Long widest = 0;
    for (const Line &line : lines) {
        layout.rows += std::max<int>(line.width / layout.limitWidth + 1, line.wrappedRows);
        widest = std::max(widest, std::min(line.width, layout.limitWidth));
    }
    const qint64 textHeight
        = std::min<qint64>(qint64(metrics.lineHeight) * layout.rows, limitHeight);
    layout.messageWidth = std::max(widest, MinMessageWidth);
    layout.messageHeight = std::max(rt::Long(textHeight), MinMessageHeight);

    // The window around the text.
    const rt::Long reserve = std::max(metrics.buttonReserve, ClassicButtonReserve);
    layout.width = std::max(layout.messageWidth + metrics.messageLeft + RightMargin, set.minWidth);
    layout.height = std::max(layout.messageHeight + metrics.messageTop + reserve + TextToButtons,
        MinHeight + reserve - ClassicButtonReserve);

    // The check box between the text and the buttons.
    if (flags & NotAgainFlag) {
        // The box stands under the text, so it needs the text's left margin and the right one.
        layout.width = std::max(layout.width, metrics.messageLeft + metrics.checkWidth + RightMargin);
        layout.height += 2 * metrics.checkHeight;
        layout.checkVisible = true;
        layout.checkTop = layout.height - metrics.checkHeight * 3 / 2 - reserve;
    }

    // One centred row of buttons; the window is never narrower than the row.
    rt::Long rowWidth = ButtonGap * (set.codes.size() - 1);
    for (int i = 0; i < set.codes.size(); ++i)
        rowWidth += metrics.buttonWidths.value(i);
    layout.width = std::max(layout.width, rowWidth + 2 * ButtonGap);
    layout.buttonTop = layout.height - reserve;
    rt::Long left = (layout.width - rowWidth) / 2;
    for (int i = 0; i < set.codes.size(); ++i) {
        layout.buttonLefts.append(left);
        left += metrics.buttonWidths.value(i) + ButtonGap;
    }
    return layout;
}

} // namespace MsgBox

namespace {

// Where the controls sit at design time, in twips.
constexpr rt::Long IconLeft = 240;
constexpr rt::Long IconTop = 240;
constexpr rt::Long IconToText = 240;
constexpr rt::Long MessageTop = 240;
constexpr rt::Long ButtonDesignWidth = 1095;
constexpr rt::Long ButtonBottomMargin = 120;
constexpr int WatchInterval = 100; // ms

frmMsgBox::AnswerHook gAnswerHook;

// Pixels to twips rounded up, so that converting back never loses a pixel of text.
rt::Long twipsX(int pixels)
{
    return rt::Long(std::ceil(pixels * rt::TwipsPerPixelX()));
}

rt::Long twipsY(int pixels)
{
    return rt::Long(std::ceil(pixels * rt::TwipsPerPixelY()));
}

QRect pixelRect(rt::Long left, rt::Long top, rt::Long width, rt::Long height)
{
    return QRect(rt::twipsToPixelsX(left), rt::twipsToPixelsY(top), rt::twipsToPixelsX(width),
        rt::twipsToPixelsY(height));
}

// The caption of a button, with its hot-key mark.
QString captionOf(rt::Int code)
{
    static const QList<std::pair<rt::Int, const char *>> captions { { MsgBox::OK, "&OK" },
        { MsgBox::Cancel, "&Cancel" }, { MsgBox::Retry, "&Retry" }, { MsgBox::Yes, "&Yes" },
        { MsgBox::No, "&No" }, { MsgBox::All, "Yes to &All" } };
    for (const auto &[c, caption] : captions) {
        if (c == code)
            return QLatin1String(caption);
    }
    return QString::number(code);
}

// The same without the mark ("Yes to All"), as a log names the answer.
QString buttonCaption(rt::Int code)
{
    return captionOf(code).remove(QLatin1Char('&'));
}

// Clears a flag on every way out of a scope.
struct FlagScope
{
    explicit FlagScope(bool &flag)
        : flag(flag)
    {
        flag = true;
    }
    ~FlagScope() { flag = false; }
    bool &flag;
};

} // namespace

frmMsgBox::frmMsgBox(QObject *parent)
    : rt::Form(QStringLiteral("frmMsgBox"), parent)
    , Timer(new QTimer(this))
{
    keyPreview = true;
    connect(Timer, &QTimer::timeout, this, &frmMsgBox::Timer_Timer);
}

frmMsgBox &frmMsgBox::instance()
{
    static QPointer<frmMsgBox> form;
    if (!form)
        form = new frmMsgBox(QCoreApplication::instance());
    return *form;
}

void frmMsgBox::setAnswerHook(AnswerHook hook)
{
    gAnswerHook = std::move(hook);
}

QWidget *frmMsgBox::createWidgets()
{
    auto *dialog = new QDialog;
    dialog->setWindowTitle(QStringLiteral("Norvalis"));

    lbMessage = new QLabel(dialog);
    lbMessage->setTextFormat(Qt::PlainText);
    lbMessage->setWordWrap(true);
    lbMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QStyle *style = dialog->style();
    const int iconSize = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, dialog);
    auto makeIcon = [&](QStyle::StandardPixmap which) {
        auto *image = new QLabel(dialog);
        image->setPixmap(style->standardIcon(which, nullptr, dialog).pixmap(iconSize, iconSize));
        image->setGeometry(
            rt::twipsToPixelsX(IconLeft), rt::twipsToPixelsY(IconTop), iconSize, iconSize);
        return image;
    };
    imgInfo = makeIcon(QStyle::SP_MessageBoxInformation);
    imgQuest = makeIcon(QStyle::SP_MessageBoxQuestion);
    imgExcl = makeIcon(QStyle::SP_MessageBoxWarning);

    auto makeButton = [&](const char *name, rt::Int code, void (frmMsgBox::*click)()) {
        auto *button = new QPushButton(captionOf(code), dialog);
        button->setObjectName(QLatin1String(name));
        connect(button, &QPushButton::clicked, this, click);
        return button;
    };
    cmdOK = makeButton("cmdOK", MsgBox::OK, &frmMsgBox::cmdOK_Click);
    cmdCancel = makeButton("cmdCancel", MsgBox::Cancel, &frmMsgBox::cmdCancel_Click);
    cmdRetry = makeButton("cmdRetry", MsgBox::Retry, &frmMsgBox::cmdRetry_Click);
    cmdYes = makeButton("cmdYes", MsgBox::Yes, &frmMsgBox::cmdYes_Click);
    cmdNo = makeButton("cmdNo", MsgBox::No, &frmMsgBox::cmdNo_Click);
    cmdAll = makeButton("cmdAll", MsgBox::All, &frmMsgBox::cmdAll_Click);

    chkNotAgain = new QCheckBox(QStringLiteral("In the future, do not show this &warning"), dialog);
    chkNotAgain->setVisible(false);
    return dialog;
}

QList<QPushButton *> frmMsgBox::buttons() const
{
    return { cmdOK, cmdCancel, cmdRetry, cmdYes, cmdNo, cmdAll };
}

QPushButton *frmMsgBox::button(rt::Int code) const
{
    switch (code) {
    case MsgBox::OK:
        return cmdOK;
    case MsgBox::Cancel:
        return cmdCancel;
    case MsgBox::Retry:
        return cmdRetry;
    case MsgBox::Yes:
        return cmdYes;
    case MsgBox::No:
        return cmdNo;
    case MsgBox::All:
        return cmdAll;
    default:
        return nullptr;
    }
}

MsgBox::Metrics frmMsgBox::measure(const MsgBox::ButtonSet &set) const
{
    const QFontMetrics fm(lbMessage->font());
    MsgBox::Metrics metrics;
    metrics.screenWidth = rt::ScreenWidth();
    metrics.screenHeight = rt::ScreenHeight();
    metrics.lineHeight = twipsY(std::max(fm.height(), fm.lineSpacing()));
    metrics.messageLeft = IconLeft + twipsX(imgInfo->width()) + IconToText;
    metrics.messageTop = MessageTop;
    metrics.checkWidth = twipsX(chkNotAgain->sizeHint().width());
    metrics.checkHeight = twipsY(chkNotAgain->sizeHint().height());
    int buttonHeight = 0;
    for (rt::Int code : set.codes) {
        const QSize hint = button(code)->sizeHint();
        metrics.buttonWidths.append(std::max(ButtonDesignWidth, twipsX(hint.width())));
        buttonHeight = std::max(buttonHeight, hint.height());
    }
    metrics.buttonHeight = twipsY(buttonHeight);
    const rt::Long frame = std::max<rt::Long>(0, height() - scaleHeight());
    metrics.buttonReserve = frame + metrics.buttonHeight + ButtonBottomMargin;
    return metrics;
}

QList<MsgBox::Line> frmMsgBox::measureLines(const QString &prompt, rt::Long limitWidth) const
{
    QList<MsgBox::Line> lines;
    if (prompt.isEmpty())
        return lines;
    const QFontMetrics fm(lbMessage->font());
    const int limitPixels = rt::twipsToPixelsX(limitWidth);
    const int lineHeight = std::max(1, std::max(fm.height(), fm.lineSpacing()));
    for (const QString &text : prompt.split(QLatin1Char('\n'))) {
        MsgBox::Line line;
        // The width drawing needs (fractional advances rounded up), not the sum of rounded ones.
        line.width = twipsX(fm.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), 0, text).width());
        const QRect wrapped
            = fm.boundingRect(QRect(0, 0, limitPixels, 1 << 20), Qt::TextWordWrap, text);
        line.wrappedRows = (wrapped.height() + lineHeight - 1) / lineHeight;
        lines.append(line);
    }
    return lines;
}

void frmMsgBox::applyLayout(const QString &prompt, rt::Int flags)
{
    const MsgBox::ButtonSet set = MsgBox::buttonSet(flags);
    const MsgBox::Metrics metrics = measure(set);
    m_layout = MsgBox::computeLayout(
        metrics, measureLines(prompt, MsgBox::textLimitWidth(metrics)), flags);

    lbMessage->setGeometry(pixelRect(
        metrics.messageLeft, metrics.messageTop, m_layout.messageWidth, m_layout.messageHeight));
    lbMessage->setText(prompt);

    chkNotAgain->setVisible(m_layout.checkVisible);
    if (m_layout.checkVisible)
        chkNotAgain->setGeometry(pixelRect(
            metrics.messageLeft, m_layout.checkTop, metrics.checkWidth, metrics.checkHeight));

    setWidth(m_layout.width);
    setHeight(m_layout.height);
    // Sizing is not placing: the window system puts each message over its owner.
    widget()->setAttribute(Qt::WA_Moved, false);
    const MsgBox::Icon icon = MsgBox::iconOf(flags);
    imgInfo->setVisible(icon == MsgBox::Icon::Information);
    imgQuest->setVisible(icon == MsgBox::Icon::Question);
    imgExcl->setVisible(icon == MsgBox::Icon::Exclamation);

    for (QPushButton *b : buttons()) {
        b->setVisible(false);
        b->setDefault(false);
    }
    for (int i = 0; i < set.codes.size(); ++i) {
        QPushButton *b = button(set.codes[i]);
        b->setGeometry(pixelRect(m_layout.buttonLefts[i], m_layout.buttonTop,
            metrics.buttonWidths[i], metrics.buttonHeight));
        b->setVisible(true);
    }
    button(set.defaultCode)->setDefault(true);
    m_defaultCode = set.defaultCode;
    m_escapeCode = set.escapeCode;
    rt::orderTabsAsShown(widget());
}

rt::Int frmMsgBox::ShowMessage(const QString &prompt, rt::Int flags, QWidget *owner)
{
    if (gAnswerHook)
        return gAnswerHook(prompt, flags);
    // Nobody to answer: the default button's answer, at once; a Retry would only ask again with
    // nobody there to mend the cause, so Retry/Cancel answers Cancel.
    if (!rt::userCanAnswer()) {
        const MsgBox::ButtonSet set = MsgBox::buttonSet(flags);
        const rt::Int code = set.defaultCode == MsgBox::Retry ? set.escapeCode : set.defaultCode;
        rt::logUnanswered(QStringLiteral("message box"), prompt, buttonCaption(code));
        return code;
    }
    // One window: a message that arrives while another is open (from a timer, DDE or an
    // automation call) gets the answer that closing it would give.
    if (m_showing)
        return MsgBox::buttonSet(flags).escapeCode;
    FlagScope showing(m_showing);

    rt::Proc h("msgbox", "ShowMessage");
    h([&] { load(); });
    if (!isLoaded()) // the load failed and the failure was ignored
        return MsgBox::buttonSet(flags).escapeCode;
    h([&] { applyLayout(prompt, flags); });
    m_savedPointer = rt::mousePointer();
    // The watch, and the pointer it changes, end on every way out.
    struct PointerWatch
    {
        frmMsgBox *form;
        ~PointerWatch()
        {
            form->Timer->stop();
            rt::setMousePointer(form->m_savedPointer);
        }
    } watch { this };
    if (m_savedPointer != rt::vbDefault)
        Timer->start(WatchInterval);
    QApplication::beep();
    m_result = 0;
    // The window keeps its focus while hidden; the default button has it when it shows again.
    h([&] { focusDefault(); });
    qCDebug(lcApp).noquote() << "message box shown:" << prompt;
    h([&] { showModal(owner); });

    // Unloaded from code while open (the program shutting down): the safe answer.
    rt::Int result = m_result != 0 ? m_result : m_escapeCode;
    if ((flags & MsgBox::NotAgainFlag) && isLoaded() && chkNotAgain->isChecked())
        result += MsgBox::NotAgainFlag;
    return result;
}

void frmMsgBox::answer(rt::Int code)
{
    m_result = code;
    hide();
}

void frmMsgBox::focusDefault()
{
    if (QPushButton *b = button(m_defaultCode))
        b->setFocus();
    else
        widget()->setFocus();
}

void frmMsgBox::Form_Activate()
{
    rt::ResumeNext quietly;
    quietly([&] { focusDefault(); });
    quietly([&] {
        if (QWidget *grabber = QWidget::mouseGrabber())
            grabber->releaseMouse();
    });
}

void frmMsgBox::Form_KeyDown(rt::Int &keyCode, rt::Int shift)
{
    Q_UNUSED(shift);
    // Plain letters press the shown button they stand for, whatever the shift state.
    static const QList<std::pair<rt::Int, rt::Int>> hotKeys { { 'A', MsgBox::All },
        { 'C', MsgBox::Cancel }, { 'N', MsgBox::No }, { 'O', MsgBox::OK }, { 'R', MsgBox::Retry },
        { 'Y', MsgBox::Yes } };
    auto shown = [this](rt::Int c) { return !button(c)->isHidden(); };
    rt::Int code = 0;
    if (keyCode == rt::vbKeyReturn) {
        // Enter presses the button that has the focus; elsewhere it gives the default code.
        code = m_defaultCode;
        for (const auto &[letter, c] : hotKeys)
            if (shown(c) && widget()->focusWidget() == button(c))
                code = c;
    } else if (keyCode == rt::vbKeyEscape) {
        code = m_escapeCode;
    } else {
        for (const auto &[letter, c] : hotKeys)
            if (keyCode == letter && shown(c))
                code = c;
    }
    if (code != 0) {
        keyCode = 0;
        answer(code);
    }
}

void frmMsgBox::Form_QueryUnload(rt::Int &cancel, rt::Int unloadMode)
{
    rt::Proc h("msgbox", "Form QueryUnload");
    h([&] {
        if (unloadMode == rt::vbFormControlMenu) {
            cancel = rt::True;
            answer(m_escapeCode);
        }
    });
}

void frmMsgBox::Timer_Timer()
{
    if (!widget() || !widget()->isVisible())
        return;
    // The whole window, frame and caption included.
    const bool inside = widget()->frameGeometry().contains(QCursor::pos());
    const rt::Int wanted = inside ? rt::Int(rt::vbDefault) : m_savedPointer;
    if (rt::mousePointer() != wanted)
        rt::setMousePointer(wanted);
}
