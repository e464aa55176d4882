// The emulator control: construction, its settings, life cycle, properties and keyboard. The
// other parts of the class are in the emulator_*.cpp files named by what they do.

#include "emulator/emulator.h"

#include "emulator/asciitransfer.h"
#include "emulator/capturefile.h"
#include "emulator/dispatch.h"
#include "emulator/emulator_internal.h"
#include "emulator/printerjob.h"
#include "emulator/screenview.h"
#include "runtime/errnum.h"
#include "runtime/memory.h"

#include <QGuiApplication>
#include <QApplication>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace emu {

using detail::fail;

namespace {

constexpr int functionKeys = 48;
// One notch of a mouse wheel, in eighths of a degree (QWheelEvent::angleDelta).
constexpr int WheelNotch = 120;

// The print controller of each terminal type that has one: the bytes that start and end
// printing what the host sends, and whether they are control sequences (which come in other
// spellings too: streamsplitter.h).
struct PrintController
{
    Int termType;
    const char *begin;
    const char *end;
    bool controlSequences;
};
constexpr PrintController printControllers[] = {
    { 5, "\x18", "\x14", false }, // Wyse 50
    { 6, "\x1b" "d#", "\x14", false }, // Wyse 60
    { 7, "\x1bW", "\x1bX", false }, // VT52
    { 8, "\x1b[5i", "\x1b[4i", true },
    { 9, "\x1b[5i", "\x1b[4i", true },
    { 12, "\x1b[5i", "\x1b[4i", true },
    { 13, "\x1b[5i", "\x1b[4i", true },
    { 14, "\x1b[5i", "\x1b[4i", true },
    { 15, "\x1b[5i", "\x1b[4i", true },
    { 16, "\x1b[5i", "\x1b[4i", true },
};

QString deviceName(Int device)
{
    switch (device) {
    case device::Serial:
        return QStringLiteral("Serial Port");
    case device::Tcp:
        return QStringLiteral("TCP/IP");
    case device::Telnet:
        return QStringLiteral("Telnet");
    case device::Modem:
        return QStringLiteral("Modem");
    case device::Ssh:
        return QStringLiteral("SSH");
    case 6:
        return QStringLiteral("Reserved");
    default:
        return QString();
    }
}

} // namespace

QString emuerror::text(Long number)
{
    switch (number) {
    case NotConnected:
        return QStringLiteral("Not connected");
    case Busy:
        return QStringLiteral("The control is busy");
    case ProtocolNotAvailable:
        return QStringLiteral("Transfer protocol not available");
    case NotSupported:
        return QStringLiteral("Not supported by this terminal");
    case BadCaptureSource:
        return QStringLiteral("Invalid capture source");
    case BadPosition:
        return QStringLiteral("Invalid screen position");
    case CannotDial:
        return QStringLiteral("The device cannot dial");
    case PrintFailed:
        return QStringLiteral("Print failed");
    case BadPage:
        return QStringLiteral("Invalid page");
    case NoDevice:
        return QStringLiteral("No device");
    case NoSoundDevice:
        return QStringLiteral("No sound device");
    case NoSoundFont:
        return QStringLiteral("No sound font");
    case BadSoundFile:
        return QStringLiteral("Not a sound file of that kind");
    default:
        return rt::errorText(number);
    }
}

nvEmulator::nvEmulator(QWidget *parent)
    : QWidget(parent)
    , m_settings(new emu::Settings(this))
    , m_screen(new emu::Screen(24, 80, 0, this))
    , m_fkeys(functionKeys)
    , m_colors(16, 7)
{
    setFocusPolicy(Qt::StrongFocus);

    // A control smaller than its screen scrolls it (unless ScaleFont fits the font to it).
    m_viewArea = new QScrollArea(this);
    m_viewArea->setFrameShape(QFrame::NoFrame);
    m_viewArea->setFocusPolicy(Qt::NoFocus);
    m_viewArea->setWidgetResizable(true);
    m_view = new ScreenView(m_screen, ScreenView::Mode::Live);
    m_view->setFocusOwner(this);
    m_viewArea->setWidget(m_view);
    m_historyPane = new QWidget(this);
    m_historyView = new ScreenView(m_screen, ScreenView::Mode::History, m_historyPane);
    m_historyBar = new QScrollBar(Qt::Vertical, m_historyPane);
    m_historyBar->setObjectName(QStringLiteral("historyBar"));
    auto *paneLayout = new QHBoxLayout(m_historyPane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(m_historyView, 1);
    paneLayout->addWidget(m_historyBar);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_historyPane, 0);
    layout->addWidget(m_viewArea, 1);
    m_historyPane->hide();

    m_printTimer.setSingleShot(true);
    connect(&m_printTimer, &QTimer::timeout, this, [this] { closePrintJob(false); });

    connect(m_settings, &emu::Settings::settingChanged, this, &nvEmulator::onSettingChanged);
    connect(m_settings, &emu::Settings::reloaded, this, &nvEmulator::onSettingsReloaded);
    connect(m_screen, &emu::Screen::answer, this,
        [this](const QByteArray &bytes) {
            if (admitAnswer(AnswerKind::Terminal))
                sendToHost(bytes);
        });
    connect(m_screen, &emu::Screen::bell, this, [] { QApplication::beep(); });
    connect(m_screen, &emu::Screen::caughtUp, this, [this] {
        holdHostInput();
        reportLocation();
    });
    connect(m_screen, &emu::Screen::printScreenRequested, this, &nvEmulator::onHostPrintScreen);
    connect(m_screen, &emu::Screen::paletteChanged, this, &nvEmulator::setHostColor);
    // DECCOLM: the host switches between the normal and the extended screen size.
    connect(m_screen, &emu::Screen::columnModeRequested, this,
        [this](bool wide) { setExtendedMode(wide ? 1 : 0); });
    connect(m_view, &ScreenView::mousePressed, this,
        [this](QMouseEvent *e, bool *handled) { onMousePressed(e, handled, false); });
    connect(m_view, &ScreenView::doubleClicked, this,
        [this](QMouseEvent *e, bool *handled) { onMousePressed(e, handled, true); });
    connect(m_historyView, &ScreenView::mousePressed, this,
        [this](QMouseEvent *e, bool *handled) { onMousePressed(e, handled, false); });
    connect(m_view, &ScreenView::selectionFinished, this, &nvEmulator::offerSelection);
    connect(m_historyView, &ScreenView::selectionFinished, this, &nvEmulator::offerSelection);
    connect(m_view, &ScreenView::historyChanged, this, [this] {
        // New lines bring the screen back, as they do in terminals.
        if (m_wheelHistory && !m_lockHistory)
            endWheelHistory();
        else
            historyPaneChanged();
    });
    connect(m_historyBar, &QScrollBar::valueChanged, this,
        [this](int value) { m_historyView->setTopLine(m_screen->firstLine() + value); });

    applySettings();
}

nvEmulator::~nvEmulator()
{
    if (!m_shutdown)
        Shutdown();
    // The waits end untold of Busy: nobody is left to hear of it.
    while (!m_waiters.empty())
        endWait(m_waiters.front().get(), -1);
    // A session's screens and history were a good part of the heap.
    rt::releaseFreedMemorySoon();
}

emu::Settings *nvEmulator::Settings(bool)
{
    return m_settings;
}

// --- Settings ------------------------------------------------------------------------------

void nvEmulator::applySettings()
{
    applyTerminalType();
    m_screen->setHistoryCapacity(std::max<int>(0, m_settings->HistoryRows()));
    applyHostEncoding();
    m_view->setCursorStyle(m_settings->CursorType());
    applyScreenSize();
    applyFont();
    applyColors();
    applyTerminalModes();
}

void nvEmulator::onSettingsReloaded()
{
    noteLinkPeer();
    applySettings();
    const Int device = m_settings->Device();
    const bool reachable
        = ((device == device::Telnet || device == device::Tcp || device == device::Ssh)
              && !m_settings->HostName().trimmed().isEmpty())
        || device == device::Serial || (device == device::Modem && m_settings->AutoAnswer() != 0);
    // A file that names the same host keeps the link (the host may have asked for the reload).
    if (reachable && (!m_channel || m_channelKey != connectionKey()))
        QTimer::singleShot(0, this, [this] {
            if (!m_shutdown)
                connectHost();
        });
    survives([this] { emit TermChange(m_settings->TermType()); }, [this] { raiseDeviceChange(); });
}

void nvEmulator::applyTerminalType()
{
    const Int termType = m_settings->TermType();
    m_screen->setTerminalType(termType);
    setHostColor(-1, 0); // colours a host of the old type set do not stay
    applyTerminalOptions();
    applyPrintController();
}

// The terminal type's print controller, in the spellings the host's encoding allows.
void nvEmulator::applyPrintController()
{
    const Int termType = m_settings->TermType();
    const bool eightBit = m_settings->Ansi8Bit() != 0;
    Marker begin;
    Marker end;
    for (const PrintController &p : printControllers) {
        if (p.termType == termType) {
            begin = { p.begin, p.controlSequences, eightBit };
            end = { p.end, p.controlSequences, eightBit };
        }
    }
    m_printController.setMarkers(std::move(begin), std::move(end));
}

void nvEmulator::applyTerminalOptions()
{
    TerminalOptions options;
    options.protectLook = m_settings->ProtectAttr();
    options.lockFunctionKeys = m_settings->LockFKeys() != 0;
    options.graphics = m_settings->GmodeEnable() != 0;
    // Only the VT420 has pages of display memory.
    options.pages = m_settings->TermType() == 14 ? std::clamp<int>(m_settings->Pages(), 1, 6) : 1;
    options.printer = !m_settings->PrinterName().isEmpty();
    m_screen->setOptions(options);
}

HostEncoding nvEmulator::hostEncoding() const
{
    return m_settings->Ansi8Bit() != 0 ? HostEncoding::SingleByte : HostEncoding::Utf8;
}

QByteArray nvEmulator::toHost(const QString &text, int eolMode, char eolChar) const
{
    return hostText(text, eolMode, eolChar, hostEncoding());
}

void nvEmulator::applyHostEncoding()
{
    const HostEncoding encoding = hostEncoding();
    m_screen->setHostEncoding(encoding);
    m_input.setEncoding(encoding);
    if (m_capture)
        m_capture->setEncoding(encoding);
    m_screen->setAnswerBack(toHost(m_settings->AnswerBack()));
}

void nvEmulator::raiseDeviceChange()
{
    QString name = deviceName(m_settings->Device());
    emit DeviceChange(m_settings->Device(), &name);
}

void nvEmulator::onSettingChanged(int id, int)
{
    switch (Setting(id)) {
    case Setting::TermType:
        applyTerminalType();
        applyTerminalModes();
        emit TermChange(m_settings->TermType());
        break;
    case Setting::NormCols:
    case Setting::NormRows:
    case Setting::ExtCols:
    case Setting::ExtRows:
        applyScreenSize();
        break;
    case Setting::HistoryRows:
        m_screen->setHistoryCapacity(std::max<int>(0, m_settings->HistoryRows()));
        break;
    case Setting::FontName:
    case Setting::FontSize:
    case Setting::BoldFont:
    case Setting::ScaleFont:
        applyFont();
        break;
    case Setting::Palette:
        applyColors();
        break;
    case Setting::CursorType:
        m_view->setCursorStyle(m_settings->CursorType());
        break;
    case Setting::AnswerBack:
        applyHostEncoding();
        break;
    case Setting::Ansi8Bit:
        applyHostEncoding();
        applyPrintController();
        break;
    case Setting::ProtectAttr:
    case Setting::LockFKeys:
    case Setting::GmodeEnable:
    case Setting::Pages:
    case Setting::PrinterName:
        applyTerminalOptions();
        break;
    case Setting::NoAutoWrap:
    case Setting::AnsiAppCursor:
    case Setting::AnsiAppKeypad:
        applyTerminalModes();
        break;
    case Setting::Device:
        noteLinkPeer();
        raiseDeviceChange();
        break;
    case Setting::HostName:
    case Setting::HostPort:
    case Setting::Port:
        noteLinkPeer();
        break;
    default:
        break;
    }
}

void nvEmulator::applyScreenSize()
{
    const bool extended = m_extendedMode != 0;
    const int cols
        = std::clamp<int>(extended ? m_settings->ExtCols() : m_settings->NormCols(), 2, 512);
    const int rows
        = std::clamp<int>(extended ? m_settings->ExtRows() : m_settings->NormRows(), 1, 256);
    m_screen->resize(rows, cols);
    if (m_channel)
        m_channel->setWindowSize(cols, rows);
    m_view->updateGeometry();
    emit ScreenChange(
        Int(cols), Int(rows), Int(m_screen->pageCount()), extended ? rt::True : rt::False);
    reportLocation();
}

void nvEmulator::applyFont()
{
    const QString name = m_settings->FontName();
    QFont font = name.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(name);
    const int size = m_settings->FontSize();
    font.setPointSize(size > 0 ? size : 10);
    font.setBold(m_settings->BoldFont() != 0);
    if (m_settings->ScaleFont() != 0 && textWidth() > 0 && height() > 0) {
        // The largest size at which the whole screen fits the control.
        for (int pixels = std::max(6, height() / std::max(1, m_screen->rows())); pixels > 6;
             --pixels) {
            font.setPixelSize(pixels);
            const QFontMetrics fm(font);
            if (fm.horizontalAdvance(QLatin1Char('M')) * m_screen->cols() <= textWidth()
                && fm.height() * m_screen->rows() <= height())
                break;
        }
    }
    m_view->setKeepsSize(m_settings->ScaleFont() == 0);
    m_view->setTerminalFont(font);
    m_historyView->setTerminalFont(font);
}

void nvEmulator::setHostColor(int index, quint32 rgb)
{
    if (index < 0)
        m_hostColors.fill(std::nullopt);
    else if (index < int(m_hostColors.size()))
        m_hostColors[size_t(index)] = QRgb(rgb) | 0xFF000000u;
    applyColors();
}

void nvEmulator::applyColors()
{
    std::array<QRgb, 16> colors;
    for (int i = 0; i < 16; ++i) {
        const Long bgr = m_settings->Palette(i);
        colors[size_t(i)] = m_hostColors[size_t(i)].value_or(
            qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
    }
    std::array<quint8, 16> codes;
    for (int i = 0; i < 16; ++i)
        codes[size_t(i)] = quint8(m_colors.at(i));
    for (ScreenView *view : { m_view, m_historyView }) {
        view->setBasicColors(colors);
        view->setDefaultColorCodes(codes);
    }
}

void nvEmulator::applyTerminalModes()
{
    if (!m_screen->vtFamily())
        return;
    // Each mode as the setting says, on or off (a setting put back to 0 ends its mode).
    QByteArray modes;
    modes += m_settings->NoAutoWrap() ? "\x1b[?7l" : "\x1b[?7h";
    modes += m_settings->AnsiAppCursor() ? "\x1b[?1h" : "\x1b[?1l";
    modes += m_settings->AnsiAppKeypad() ? "\x1b=" : "\x1b>";
    m_screen->feed(modes);
}

// --- Extension, life cycle, server ---------------------------------------------------------

void nvEmulator::SetExtension(QString *leadIn, QString *terminator)
{
    const QString oldLeadIn = decodeHostText(m_extension.beginMarker(), hostEncoding());
    const QString oldTerminator = decodeHostText(m_extension.endMarker(), hostEncoding());
    const QString newLeadIn = leadIn ? *leadIn : QString();
    const QString newTerminator = terminator ? *terminator : QString();
    m_extension.setMarkers(toHost(newLeadIn), toHost(newTerminator));
    if (leadIn)
        *leadIn = oldLeadIn;
    if (terminator)
        *terminator = oldTerminator;
}

void nvEmulator::Startup()
{
    // A handler that closes the window ends the series.
    survives([this] { emit TermChange(m_settings->TermType()); }, [this] { raiseDeviceChange(); },
        [this] { emit StatusChange(m_statusText); },
        [this] {
            emit ScreenChange(Cols(), Rows(), Int(m_screen->pageCount()),
                m_extendedMode ? rt::True : rt::False);
        },
        [this] { reportLocation(true); }, [this] { emit PrinterChange(m_printerState); },
        [this] { emit CaptureChange(m_capture ? rt::True : rt::False); },
        [this] { emit KeyboardLockChange(m_lockKeyboard ? rt::True : rt::False); },
        [this] {
            emit HistoryChange(
                m_historyVisible ? rt::True : rt::False, m_lockHistory ? rt::True : rt::False);
        });
}

void nvEmulator::Shutdown()
{
    if (m_shutdown)
        return;
    m_shutdown = true;
    Abort();
    stopCapture();
    closePrintJob(false);
    DetachAlternateSink();
    dropChannel();
    m_serverMode = false;
}

Int nvEmulator::ServerRequest(const QString &text)
{
    if (!m_serverMode || !m_channel || !m_channel->isConnected()
        || !HostProtocol::requestFits(text))
        return 0;
    return sendToHost(HostProtocol::encodeServerRequest(text)) ? 1 : 0;
}

Int nvEmulator::ScriptError(rt::Long errNum, const QString &errMsg)
{
    // Counted against the budget when the script came.
    if (m_channel && AnswerBudget::backlogged(m_channel->backlog()))
        return 0;
    return sendToHost(HostProtocol::encodeScriptError(errNum, errMsg)) ? 1 : 0;
}

// --- Properties ----------------------------------------------------------------------------

Int nvEmulator::Connected() const
{
    return m_channel && m_channel->isConnected() ? rt::True : rt::False;
}

Int nvEmulator::Cols() const
{
    return Int(m_screen->cols());
}

Int nvEmulator::Rows() const
{
    return Int(m_screen->rows());
}

Int nvEmulator::Col() const
{
    return Int(m_screen->cursor().x());
}

void nvEmulator::setCol(Int col)
{
    Locate(col, Row());
}

Int nvEmulator::Row() const
{
    return Int(m_screen->cursor().y());
}

void nvEmulator::setRow(Int row)
{
    Locate(Col(), row);
}

Int nvEmulator::Page() const
{
    return Int(m_screen->page());
}

void nvEmulator::setPage(Int page)
{
    checkPage(page);
    if (page != -1)
        m_screen->setPage(page);
    reportLocation();
}

void nvEmulator::setcolor(Int color)
{
    if (color < -1 || color > 255)
        rt::raise(rt::err::InvalidPropertyValue);
    m_color = color;
}

void nvEmulator::setInputMode(Int mode)
{
    m_inputMode = mode;
}

void nvEmulator::setLockKeyboard(Int locked)
{
    const bool changed = (locked != 0) != (m_lockKeyboard != 0);
    m_lockKeyboard = locked;
    if (changed)
        emit KeyboardLockChange(locked ? rt::True : rt::False);
}

void nvEmulator::setLockHistory(Int locked)
{
    m_lockHistory = locked;
    historyPaneChanged();
    emit HistoryChange(m_historyVisible ? rt::True : rt::False, locked ? rt::True : rt::False);
}

void nvEmulator::setHistoryVisible(Int *percent)
{
    const Int value = percent ? std::clamp<Int>(*percent, 0, 100) : Int(0);
    if (percent)
        *percent = value;
    m_wheelHistory = false;
    m_historyVisible = value;
    updateHistoryPane();
    emit HistoryChange(value ? rt::True : rt::False, m_lockHistory ? rt::True : rt::False);
}

void nvEmulator::updateHistoryPane()
{
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    m_historyPane->setVisible(m_historyVisible > 0);
    m_viewArea->setVisible(m_historyVisible < 100);
    layout->setStretch(0, m_historyVisible);
    layout->setStretch(1, 100 - m_historyVisible);
    historyPaneChanged();
}

void nvEmulator::historyPaneChanged()
{
    // Opened by the wheel, the pane reaches down to the screen's last row.
    const int below = m_wheelHistory ? m_screen->rows() : 0;
    const int maximum
        = std::max(0, m_screen->historyCount() + below - m_historyView->visibleLines());
    const qint64 top = m_historyView->topLine();
    const QSignalBlocker blocker(m_historyBar);
    m_historyBar->setRange(0, maximum);
    m_historyBar->setPageStep(m_historyView->visibleLines());
    // Unlocked, the pane follows the newest lines; locked, it stays on its text.
    const int value = m_lockHistory
        ? int(std::clamp<qint64>(top - m_screen->firstLine(), 0, maximum))
        : maximum;
    m_historyBar->setValue(value);
    m_historyView->setTopLine(m_screen->firstLine() + value);
    m_historyView->update();
}

void nvEmulator::setPrinterMode(Int mode)
{
    switch (mode) {
    case 0:
        PrinterOff();
        break;
    case 1:
        PrinterOn(0);
        break;
    case 2:
        PrinterOn(1);
        break;
    default:
        rt::raise(rt::err::InvalidPropertyValue);
    }
}

Int nvEmulator::XferStatus() const
{
    return transferRunning() ? rt::True : rt::False;
}

Int nvEmulator::XferFiles() const
{
    return Int(std::min(m_xferFiles, 32767));
}

Long nvEmulator::XferBytes() const
{
    return Long(std::min<qint64>(m_xferBytes, std::numeric_limits<Long>::max()));
}

Int nvEmulator::DialStatus() const
{
    return m_channel ? Int(m_channel->dialStatus()) : Int(dialstatus::Idle);
}

QString nvEmulator::Selection() const
{
    return m_screen->selectedText();
}

Long nvEmulator::BytesIn() const
{
    return Long(std::min<qint64>(m_bytesIn, std::numeric_limits<Long>::max()));
}

Long nvEmulator::BytesOut() const
{
    return Long(std::min<qint64>(m_bytesOut, std::numeric_limits<Long>::max()));
}

QString nvEmulator::FKeys(Int index) const
{
    if (index < 0 || index >= functionKeys)
        rt::raise(rt::err::InvalidPropertyIndex);
    return m_fkeys.at(index);
}

void nvEmulator::setFKeys(Int index, const QString &text)
{
    if (index < 0 || index >= functionKeys)
        rt::raise(rt::err::InvalidPropertyIndex);
    m_fkeys[index] = text;
}

Int nvEmulator::Colors(Int index) const
{
    if (index < 0 || index >= m_colors.size())
        rt::raise(rt::err::InvalidPropertyIndex);
    return m_colors.at(index);
}

void nvEmulator::setColors(Int index, Int code)
{
    if (index < 0 || index >= m_colors.size())
        rt::raise(rt::err::InvalidPropertyIndex);
    if (code < 0 || code > 255)
        rt::raise(rt::err::InvalidPropertyValue);
    m_colors[index] = code;
    applyColors();
}

void nvEmulator::setExtendedMode(Int mode)
{
    m_extendedMode = mode ? 1 : 0;
    applyScreenSize();
}

// The X11 window that holds the control, where there is one (the offscreen and Wayland
// platforms have none: 0).
Long nvEmulator::hWnd() const
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return 0;
    return window()->testAttribute(Qt::WA_WState_Created) ? Long(effectiveWinId()) : 0;
}

Int nvEmulator::Busy() const
{
    return m_busy > 0 || transferRunning() ? rt::True : rt::False;
}

Int nvEmulator::KeyAssigned(Int keyCode) const
{
    const int vk = keyCode % 1000;
    const int mods = keyCode / 1000;
    if (vk < 112 || vk > 123) // F1-F12
        return 0;
    const int group = ((mods & 1) ? 1 : 0) + ((mods & 2) ? 2 : 0);
    return m_fkeys.at(vk - 112 + 12 * group).isEmpty() ? 0 : 1;
}

void nvEmulator::setCycleMode(Int mode)
{
    m_cycleMode = mode;
}

QVariant nvEmulator::invoke(const QString &name, const QVariantList &args)
{
    QVariantList copy = args;
    return invokeMember(*this, name, copy);
}

QVariant nvEmulator::invokeRef(const QString &name, QVariantList &args)
{
    return invokeMember(*this, name, args);
}

// --- Keyboard and focus --------------------------------------------------------------------

void nvEmulator::sendKeys(const QByteArray &bytes)
{
    if (m_lockKeyboard) {
        QApplication::beep();
        return;
    }
    nvEmulator *target = m_source ? m_source.data() : this;
    target->sendToHost(bytes);
    if (m_settings->Duplex() != 0)
        m_screen->feed(bytes);
}

void nvEmulator::keyPressEvent(QKeyEvent *event)
{
    if (m_shutdown) {
        QWidget::keyPressEvent(event);
        return;
    }
    endWheelHistory();
    int key = event->key();
    Qt::KeyboardModifiers mods = event->modifiers();
    // MapUpperFKeys: Shift+F1 ... Shift+F10 are F11 ... F20.
    if (m_settings->MapUpperFKeys() != 0 && (mods & Qt::ShiftModifier) && key >= Qt::Key_F1
        && key <= Qt::Key_F10) {
        key += 10;
        mods &= ~Qt::ShiftModifier;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        const int group
            = ((mods & Qt::ShiftModifier) ? 1 : 0) + ((mods & Qt::ControlModifier) ? 2 : 0);
        const QString &text = m_fkeys.at(key - Qt::Key_F1 + 12 * group);
        if (!text.isEmpty()) {
            sendKeys(toHost(text));
            event->accept();
            return;
        }
    }
    // A character the host's encoding cannot carry is refused, not sent as nothing.
    if (hostEncoding() == HostEncoding::SingleByte) {
        const QList<uint> chars = event->text().toUcs4();
        if (std::any_of(chars.begin(), chars.end(), [](uint ch) { return ch > 0xFF; })) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QByteArray bytes;
    // BkspSendsDel: Backspace sends DEL; otherwise what the terminal type's Backspace sends.
    if (key == Qt::Key_Backspace && m_settings->BkspSendsDel() != 0
        && !(mods & (Qt::ControlModifier | Qt::AltModifier)))
        bytes = QByteArray("\x7f");
    else
        bytes = m_screen->key(key, mods, event->text());
    if (bytes.isEmpty()) {
        QWidget::keyPressEvent(event);
        return;
    }
    sendKeys(bytes);
    m_screen->clearSelection();
    event->accept();
}

bool nvEmulator::focusNextPrevChild(bool)
{
    return false; // Tab belongs to the host
}

void nvEmulator::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    m_view->update();
}

void nvEmulator::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    m_view->update();
}

QSize nvEmulator::sizeHint() const
{
    // The scroll area around the screen asks for less than the screen when it is large.
    const QSize screen = m_view->sizeHint();
    QSize hint = QWidget::sizeHint();
    hint.setWidth(std::max(hint.width(), screen.width() + m_historyBar->sizeHint().width()));
    hint.setHeight(std::max(hint.height(), screen.height()));
    return hint;
}

int nvEmulator::textWidth() const
{
    return width() - m_historyBar->sizeHint().width();
}

void nvEmulator::showCursorCell()
{
    const QPoint cursor = m_screen->cursor();
    const QSize cell = m_view->cellSize();
    m_viewArea->ensureVisible(cursor.x() * cell.width() + cell.width() / 2,
        cursor.y() * cell.height() + cell.height() / 2, cell.width(), cell.height());
}

void nvEmulator::wheelEvent(QWheelEvent *event)
{
    event->accept();
    m_wheelDelta += event->angleDelta().y();
    const int notches = m_wheelDelta / WheelNotch;
    m_wheelDelta %= WheelNotch;
    const int lines = notches * QApplication::wheelScrollLines();
    if (lines == 0)
        return;
    if (m_historyVisible == 0) {
        if (lines < 0 || m_screen->historyCount() == 0)
            return;
        Int full = 100;
        setHistoryVisible(&full);
        m_wheelHistory = true;
        historyPaneChanged(); // at the bottom: the screen as it was
    }
    m_historyBar->setValue(m_historyBar->value() - lines);
    if (m_wheelHistory && m_historyBar->value() == m_historyBar->maximum())
        endWheelHistory();
}

void nvEmulator::endWheelHistory()
{
    if (!m_wheelHistory)
        return;
    Int none = 0;
    setHistoryVisible(&none);
}

void nvEmulator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_settings->ScaleFont() != 0)
        applyFont();
    historyPaneChanged();
    showCursorCell();
}

} // namespace emu
