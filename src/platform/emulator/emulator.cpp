#include "emulator/emulator.h"

#include "emulator/asciitransfer.h"
#include "emulator/block.h"
#include "emulator/capturefile.h"
#include "emulator/channel.h"
#include "emulator/dispatch.h"
#include "emulator/printerjob.h"
#include "emulator/screenview.h"
#include "runtime/values.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace emu {

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
    default:
        return rt::errorText(number);
    }
}

namespace {

constexpr int maxExtensionCommand = 64 * 1024;
constexpr qsizetype maxPrintJobLines = 50000;
constexpr int functionKeys = 48;

[[noreturn]] void fail(Long number, const QString &detail = QString())
{
    QString text = emuerror::text(number);
    if (!detail.isEmpty())
        text += QStringLiteral(": ") + detail;
    rt::raise(number, text);
}

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

QString trimmedRight(const QString &s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == u' ')
        --n;
    return s.left(n);
}

// The whole word against a pattern with the wildcards * and ?, without case. Unlike a file
// glob, "/" is an ordinary character here: words on a screen are often paths.
bool wildcardMatch(const QString &pattern, const QString &word)
{
    QString expression = QRegularExpression::escape(pattern);
    expression.replace(QLatin1String("\\*"), QLatin1String(".*"));
    expression.replace(QLatin1String("\\?"), QLatin1String("."));
    const QRegularExpression re(
        QRegularExpression::anchoredPattern(expression), QRegularExpression::CaseInsensitiveOption);
    return re.match(word).hasMatch();
}

Int vbButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

} // namespace

// Counts a method that waits, so that Busy answers non-zero meanwhile.
class nvEmulator::BusyScope
{
public:
    explicit BusyScope(nvEmulator *control)
        : m_control(control)
    {
        if (m_control->m_busy++ == 0)
            emit m_control->StateNotify(2, rt::True);
    }
    ~BusyScope()
    {
        if (m_control && --m_control->m_busy == 0)
            emit m_control->StateNotify(2, rt::False);
    }
    // The control went away during the wait.
    void release() { m_control = nullptr; }

private:
    nvEmulator *m_control;
};

nvEmulator::nvEmulator(QWidget *parent)
    : QWidget(parent)
    , m_settings(new emu::Settings(this))
    , m_screen(new emu::Screen(24, 80, 0, this))
    , m_fkeys(functionKeys)
    , m_colors(16, 7)
{
    setFocusPolicy(Qt::StrongFocus);

    m_view = new ScreenView(m_screen, ScreenView::Mode::Live, this);
    m_view->setFocusOwner(this);
    m_historyPane = new QWidget(this);
    m_historyView = new ScreenView(m_screen, ScreenView::Mode::History, m_historyPane);
    m_historyBar = new QScrollBar(Qt::Vertical, m_historyPane);
    auto *paneLayout = new QHBoxLayout(m_historyPane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(m_historyView, 1);
    paneLayout->addWidget(m_historyBar);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_historyPane, 0);
    layout->addWidget(m_view, 1);
    m_historyPane->hide();

    m_printTimer.setSingleShot(true);
    connect(&m_printTimer, &QTimer::timeout, this, [this] { closePrintJob(false); });

    connect(m_settings, &emu::Settings::settingChanged, this, &nvEmulator::onSettingChanged);
    connect(m_settings, &emu::Settings::reloaded, this, &nvEmulator::onSettingsReloaded);
    connect(m_screen, &emu::Screen::answer, this,
        [this](const QByteArray &bytes) { sendToHost(bytes); });
    connect(m_screen, &emu::Screen::bell, this, [] { QApplication::beep(); });
    connect(m_screen, &emu::Screen::printScreenRequested, this, &nvEmulator::onHostPrintScreen);
    connect(m_view, &ScreenView::mousePressed, this,
        [this](QMouseEvent *e, bool *handled) { onMousePressed(e, handled, false); });
    connect(m_view, &ScreenView::doubleClicked, this,
        [this](QMouseEvent *e, bool *handled) { onMousePressed(e, handled, true); });
    connect(m_historyView, &ScreenView::mousePressed, this,
        [this](QMouseEvent *e, bool *handled) { onMousePressed(e, handled, false); });
    connect(m_view, &ScreenView::historyChanged, this, &nvEmulator::historyPaneChanged);
    connect(m_historyBar, &QScrollBar::valueChanged, this,
        [this](int value) { m_historyView->setTopLine(m_screen->firstLine() + value); });

    applySettings();
}

nvEmulator::~nvEmulator()
{
    if (!m_shutdown)
        Shutdown();
    if (m_waitLoop)
        m_waitLoop->exit(0);
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
    m_screen->setAnswerBack(m_settings->AnswerBack().toLatin1());
    m_view->setCursorStyle(m_settings->CursorType());
    applyScreenSize();
    applyFont();
    applyColors();
    applyTerminalModes();
}

void nvEmulator::onSettingsReloaded()
{
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
    QPointer<nvEmulator> self(this);
    emit TermChange(m_settings->TermType());
    if (self)
        raiseDeviceChange();
}

void nvEmulator::applyTerminalType()
{
    m_screen->setTerminalType(m_settings->TermType());
    // Only the VT family has the print controller.
    m_printController.setMarkers(
        m_screen->vtFamily() ? QByteArray("\x1b[5i") : QByteArray(), QByteArray("\x1b[4i"));
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
        m_screen->setAnswerBack(m_settings->AnswerBack().toLatin1());
        break;
    case Setting::NoAutoWrap:
    case Setting::AnsiAppCursor:
    case Setting::AnsiAppKeypad:
        applyTerminalModes();
        break;
    case Setting::Device:
        raiseDeviceChange();
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
    emit ScreenChange(Int(cols), Int(rows), 1, extended ? rt::True : rt::False);
    reportLocation();
}

void nvEmulator::applyFont()
{
    const QString name = m_settings->FontName();
    QFont font = name.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont(name);
    const int size = m_settings->FontSize();
    font.setPointSize(size > 0 ? size : 10);
    font.setBold(m_settings->BoldFont() != 0);
    if (m_settings->ScaleFont() != 0 && width() > 0 && height() > 0) {
        // The largest size at which the whole screen fits the control.
        for (int pixels = std::max(6, height() / std::max(1, m_screen->rows())); pixels > 6;
             --pixels) {
            font.setPixelSize(pixels);
            const QFontMetrics fm(font);
            if (fm.horizontalAdvance(QLatin1Char('M')) * m_screen->cols() <= width()
                && fm.height() * m_screen->rows() <= height())
                break;
        }
    }
    m_view->setTerminalFont(font);
    m_historyView->setTerminalFont(font);
}

void nvEmulator::applyColors()
{
    std::array<QRgb, 16> colors;
    for (int i = 0; i < 16; ++i) {
        const Long bgr = m_settings->Palette(i);
        colors[size_t(i)] = qRgb(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
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
    QByteArray modes;
    if (m_settings->NoAutoWrap())
        modes += "\x1b[?7l";
    if (m_settings->AnsiAppCursor())
        modes += "\x1b[?1h";
    if (m_settings->AnsiAppKeypad())
        modes += "\x1b=";
    m_screen->feed(modes);
}

// --- Connection ----------------------------------------------------------------------------

QString nvEmulator::connectionKey() const
{
    QStringList parts;
    for (const SettingDef &def : settingTable()) {
        if (def.section == QLatin1String("Connection") || def.id == Setting::TermType)
            parts << m_settings->value(def.id).toString();
    }
    return parts.join(QChar(1));
}

void nvEmulator::connectHost()
{
    dropChannel();
    Channel *channel = createChannel(*m_settings, this);
    if (!channel) {
        m_statusText = QStringLiteral("No device");
        emit StatusChange(m_statusText);
        return;
    }
    m_channel = channel;
    m_channelKey = connectionKey();
    connect(channel, &Channel::connected, this, &nvEmulator::onConnected);
    connect(channel, &Channel::dataReceived, this, &nvEmulator::onChannelData);
    connect(channel, &Channel::error, this, &nvEmulator::onChannelError);
    connect(channel, &Channel::disconnected, this, &nvEmulator::onChannelDisconnected);
    connect(channel, &Channel::stateChanged, this, [this](Channel::State state) {
        if (state == Channel::State::Open && !m_pendingDial.isEmpty()) {
            const int code = m_channel->dial(std::exchange(m_pendingDial, QString()));
            if (code)
                onChannelError(code, channelErrorText(code));
        }
    });
    channel->setWindowSize(m_screen->cols(), m_screen->rows());
    // A modem's port opens when a number is dialled, unless the modem is to answer calls.
    if (channel->device() != device::Modem || m_settings->AutoAnswer() != 0) {
        m_statusText = QStringLiteral("Connecting: ") + channel->description();
        emit StatusChange(m_statusText);
        channel->open();
    }
}

void nvEmulator::dropChannel()
{
    m_pendingDial.clear();
    if (!m_channel)
        return;
    Channel *channel = m_channel;
    m_channel = nullptr;
    disconnect(channel, nullptr, this, nullptr);
    const bool wasConnected = channel->isConnected();
    channel->close();
    // The channel may be inside one of its own signals (a handler of host data closed the
    // session): it must outlive this control and go from the event loop.
    channel->setParent(nullptr);
    channel->deleteLater();
    m_linkUp = false;
    m_protocol.reset();
    m_extension.reset();
    m_printController.reset();
    m_controllerActive = false;
    if (m_shutdown)
        return;
    if (wasConnected)
        emit StateNotify(1, rt::False);
    if (m_serverMode) {
        m_serverMode = false;
        emit ServerExit();
    }
}

void nvEmulator::onConnected()
{
    m_linkUp = true;
    m_statusText = QStringLiteral("Connected: ") + m_channel->description();
    m_channel->setWindowSize(m_screen->cols(), m_screen->rows());
    if (m_dialing) {
        m_dialing = false;
        m_dialResult = 0;
    }
    QPointer<nvEmulator> self(this);
    emit StatusChange(m_statusText);
    if (self)
        emit StateNotify(1, rt::True);
    if (self)
        wakeWaiter();
}

void nvEmulator::onChannelData(const QByteArray &data)
{
    feedHostData(data);
}

void nvEmulator::feedHostData(const QByteArray &data)
{
    if (m_shutdown)
        return;
    m_bytesIn += data.size();
    if (m_settings->Strip8th()) {
        QByteArray seven = data;
        for (char &c : seven)
            c = char(uchar(c) & 0x7F);
        processHostData(seven);
    } else {
        processHostData(data);
    }
}

void nvEmulator::onChannelError(int code, const QString &text)
{
    if (m_shutdown)
        return;
    QPointer<nvEmulator> self(this);
    if (m_dialing) {
        m_dialing = false;
        m_dialResult = code;
    }
    // A link that fails to come up is shown in any case; trouble on a link that was up only
    // when the window wants it.
    rt::Long reported = commErrorBase + code;
    emit CommError(&reported, text, m_linkUp ? rt::False : rt::True);
    if (!self)
        return;
    m_statusText = text;
    emit StatusChange(text);
    if (!self)
        return;
    if (reported != 0) {
        auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Communication error"),
            text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    if (m_waitLoop)
        m_waitLoop->exit(0);
}

void nvEmulator::onChannelDisconnected(int code, const QString &text)
{
    if (m_shutdown)
        return;
    QPointer<nvEmulator> self(this);
    m_linkUp = false;
    m_protocol.reset();
    emit StateNotify(1, rt::False);
    if (!self || !endTransfer(AsciiDownload::Completed))
        return;
    if (m_serverMode) {
        // The host program is gone with its link: its queued requests must not wait forever.
        m_serverMode = false;
        emit ServerExit();
        if (!self)
            return;
    }
    m_statusText = code ? text : QStringLiteral("Disconnected");
    emit StatusChange(m_statusText);
    if (!self)
        return;
    if (m_waitLoop)
        m_waitLoop->exit(m_waitDone && m_waitDone() ? 1 : 0);
    if (code != channelerror::None)
        emit Disconnect();
}

bool nvEmulator::sendToHost(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return true;
    if (!m_channel || !m_channel->isOpen() || !m_channel->write(bytes))
        return false;
    m_bytesOut += bytes.size();
    return true;
}

void nvEmulator::requireConnection() const
{
    if (!m_channel || !m_channel->isConnected())
        fail(emuerror::NotConnected);
}

// --- Host data -----------------------------------------------------------------------------

void nvEmulator::processHostData(const QByteArray &data)
{
    QPointer<nvEmulator> self(this);
    const QList<HostPiece> pieces = m_protocol.parse(data);
    for (const HostPiece &piece : pieces) {
        if (piece.isRequest)
            handleHostRequest(piece.request);
        else
            processDisplay(piece.display);
        if (!self || m_shutdown)
            return;
    }
    afterHostData();
}

void nvEmulator::handleHostRequest(const HostRequest &request)
{
    switch (request.verb) {
    case HostVerb::ServerStart:
        m_serverMode = true;
        emit ServerStart(request.text);
        break;
    case HostVerb::ServerExit:
        m_serverMode = false;
        emit ServerExit();
        break;
    case HostVerb::Result:
        emit ServerResult(request.text, QString::number(request.errNum), request.errMsg);
        break;
    case HostVerb::Script:
        emit ExecScript(request.text, request.async ? rt::True : rt::False);
        break;
    case HostVerb::Extension:
        raiseExtension(request.text);
        break;
    case HostVerb::SaveSettings:
        emit SaveSettings();
        break;
    case HostVerb::LoadSettings:
        emit LoadSettings();
        break;
    case HostVerb::CloseSession:
        emit CloseSession();
        break;
    }
}

void nvEmulator::processDisplay(const QByteArray &bytes)
{
    QPointer<nvEmulator> self(this);
    const QList<StreamSplitter::Piece> pieces = m_extension.split(bytes);
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        const StreamSplitter::Piece &piece = pieces.at(i);
        switch (piece.kind) {
        case StreamSplitter::Kind::Outside:
            processExtensionFree(piece.bytes);
            break;
        case StreamSplitter::Kind::Begin:
            m_extensionCommand.clear();
            break;
        case StreamSplitter::Kind::Inside:
            if (m_extensionCommand.size() + piece.bytes.size() > maxExtensionCommand) {
                abandonExtension(piece.bytes, pieces.mid(i + 1));
                return;
            }
            m_extensionCommand += piece.bytes;
            break;
        case StreamSplitter::Kind::End:
            raiseExtension(QString::fromLatin1(std::exchange(m_extensionCommand, QByteArray())));
            break;
        }
        if (!self || m_shutdown)
            return;
    }
}

// A lead-in whose terminator does not come within maxExtensionCommand was no extension: what it
// held back is shown after all, and the stream after it is read afresh, so a host that never
// ends one cannot blank the screen for good.
void nvEmulator::abandonExtension(
    const QByteArray &inside, const QList<StreamSplitter::Piece> &rest)
{
    const QByteArray shown
        = m_extension.beginMarker() + std::exchange(m_extensionCommand, QByteArray()) + inside;
    QByteArray after;
    for (const StreamSplitter::Piece &piece : rest) {
        if (piece.kind == StreamSplitter::Kind::Begin)
            after += m_extension.beginMarker();
        else if (piece.kind == StreamSplitter::Kind::End)
            after += m_extension.endMarker();
        else
            after += piece.bytes;
    }
    after += m_extension.reset();
    QPointer<nvEmulator> self(this);
    processExtensionFree(shown);
    if (self && !m_shutdown)
        processDisplay(after);
}

void nvEmulator::processExtensionFree(const QByteArray &bytes)
{
    QPointer<nvEmulator> self(this);
    for (const StreamSplitter::Piece &piece : m_printController.split(bytes)) {
        if (!self || m_shutdown)
            return;
        switch (piece.kind) {
        case StreamSplitter::Kind::Outside:
            processPrinterFree(piece.bytes);
            break;
        case StreamSplitter::Kind::Begin:
            m_controllerActive = true;
            updatePrinterState();
            break;
        case StreamSplitter::Kind::Inside:
            printData(piece.bytes);
            break;
        case StreamSplitter::Kind::End:
            m_controllerActive = false;
            // The host's print job ends with its controller sequence.
            closePrintJob(false);
            break;
        }
    }
}

void nvEmulator::processPrinterFree(const QByteArray &data)
{
    QPointer<nvEmulator> self(this);
    if (!captureData(1, data))
        return;
    if (m_download)
        m_download->receive(data); // a download that cannot write ends, with its events
    if (!self)
        return;
    m_input.append(QString::fromLatin1(data));
    m_gotInput = true;
    if (m_printerMode != 0)
        printData(data);
    if (!self || m_printerMode == 2)
        return; // transparent printing: the printer only
    QByteArray bytes = data;
    if (m_sink && m_sinkExitMode == 1) {
        const qsizetype exit = bytes.indexOf(m_sinkExitCode);
        if (exit >= 0) {
            m_sink->m_screen->feed(bytes.left(exit));
            DetachAlternateSink();
            bytes = bytes.mid(exit + 1);
        }
    }
    displayBytes(bytes);
}

void nvEmulator::displayBytes(const QByteArray &bytes)
{
    if (m_sink)
        m_sink->m_screen->feed(bytes);
    else
        m_screen->feed(bytes);
}

void nvEmulator::raiseExtension(const QString &command)
{
    QString answer = command;
    QPointer<nvEmulator> self(this);
    emit Extension(&answer);
    if (self && answer != command && !answer.isEmpty())
        sendToHost(hostText(answer, 3));
}

void nvEmulator::afterHostData()
{
    if (m_gotInput) {
        m_gotInput = false;
        QPointer<nvEmulator> self(this);
        emit DataReady();
        if (!self)
            return;
        wakeWaiter();
        if (!self)
            return;
    }
    reportLocation();
}

void nvEmulator::reportLocation(bool force)
{
    const QPoint cursor = m_screen->cursor();
    if (!force && cursor == m_reportedLocation)
        return;
    m_reportedLocation = cursor;
    emit LocationChange(Int(cursor.x() + 1), Int(cursor.y() + 1), 1);
}

// --- Printer -------------------------------------------------------------------------------

PrintOptions nvEmulator::printOptions() const
{
    PrintOptions options;
    options.printerName = m_settings->PrinterName();
    options.fontName = m_settings->PrinterFontName();
    options.fontSize = m_settings->PrinterFontSize();
    options.bold = m_settings->PrinterFontBold() != 0;
    options.italic = m_settings->PrinterFontItalic() != 0;
    options.landscape = m_settings->PrinterOrientation() == 2;
    options.pdfDirectory = m_settings->DefaultCaptureDir();
    if (!m_caption.isEmpty())
        options.title = m_caption;
    return options;
}

void nvEmulator::printData(const QByteArray &bytes)
{
    if (!captureData(2, bytes))
        return;
    if (!m_printJob)
        m_printJob = std::make_unique<PrinterJob>();
    m_printJob->add(bytes);
    // A job the host never ends is printed in parts, so that it cannot take all memory.
    if (m_printJob->lineCount() >= maxPrintJobLines) {
        closePrintJob(false);
        return;
    }
    const int timeout = m_settings->PrinterTimeout();
    if (timeout > 0)
        m_printTimer.start(timeout * 1000);
    updatePrinterState();
}

void nvEmulator::updatePrinterState()
{
    const Int state = (m_printerMode != 0 || m_controllerActive) ? printerstate::On
        : m_printJob                                             ? printerstate::Idle
                                                                 : printerstate::Off;
    if (state == m_printerState)
        return;
    m_printerState = state;
    if (!m_shutdown)
        emit PrinterChange(state);
}

void nvEmulator::closePrintJob(bool raiseErrors)
{
    m_printTimer.stop();
    std::unique_ptr<PrinterJob> job = std::move(m_printJob);
    QPointer<nvEmulator> self(this);
    updatePrinterState();
    if (!self || !job || job->isEmpty())
        return;
    try {
        m_lastPrintTarget = job->print(printOptions());
        if (!m_shutdown)
            emit StatusChange(QStringLiteral("Printed to ") + m_lastPrintTarget);
    } catch (const rt::Error &error) {
        if (raiseErrors)
            fail(emuerror::PrintFailed, error.description);
        if (!m_shutdown)
            emit StatusChange(
                emuerror::text(emuerror::PrintFailed) + QStringLiteral(": ") + error.description);
    }
}

void nvEmulator::PrinterOn(Int transparent)
{
    m_printerMode = transparent ? 2 : 1;
    updatePrinterState();
}

void nvEmulator::PrinterOff()
{
    m_printerMode = 0;
    updatePrinterState();
}

void nvEmulator::PrinterClose()
{
    closePrintJob(true);
}

QStringList nvEmulator::screenLines() const
{
    QStringList lines;
    for (int r = 0; r < m_screen->rows(); ++r)
        lines << trimmedRight(m_screen->rowText(r));
    return lines;
}

// A burst of requests for the same screen (within one pass of the event loop) prints it once: a
// host that repeats the request cannot fill the printer or the disk with copies. A screen that
// changed in between is printed again.
void nvEmulator::onHostPrintScreen()
{
    const QStringList lines = screenLines();
    if (m_hostPrinted == lines)
        return;
    if (!m_hostPrinted)
        QTimer::singleShot(0, this, [this] { m_hostPrinted.reset(); });
    m_hostPrinted = lines;
    rt::ResumeNext quietly;
    if (!quietly([this] { PrintScreen(); }))
        emit StatusChange(quietly.error().description);
}

void nvEmulator::PrintScreen()
{
    PrinterJob job;
    for (const QString &line : screenLines())
        job.addLine(line);
    try {
        m_lastPrintTarget = job.print(printOptions());
    } catch (const rt::Error &error) {
        fail(emuerror::PrintFailed, error.description);
    }
    emit StatusChange(QStringLiteral("Printed to ") + m_lastPrintTarget);
}

// --- Capture -------------------------------------------------------------------------------

void nvEmulator::Capture(const QString &fileName, Int source, Int mode)
{
    if (source != 1 && source != 2)
        fail(emuerror::BadCaptureSource);
    if (m_capture)
        fail(emuerror::Busy, QStringLiteral("a capture is running"));
    QString path = fileName;
    const QString dir = m_settings->DefaultCaptureDir();
    if (mode != 3 && QFileInfo(path).isRelative() && !dir.isEmpty())
        path = QDir(dir).filePath(path);
    m_capture = std::make_unique<CaptureFile>(path, mode);
    m_captureSource = source;
    emit CaptureChange(rt::True);
}

void nvEmulator::CaptureEnd()
{
    stopCapture();
}

void nvEmulator::stopCapture()
{
    if (!m_capture)
        return;
    std::unique_ptr<CaptureFile> capture = std::move(m_capture);
    m_captureSource = 0;
    capture->finish();
    if (!m_shutdown)
        emit CaptureChange(rt::False);
}

bool nvEmulator::captureData(int source, const QByteArray &bytes)
{
    if (!m_capture || m_captureSource != source || m_capture->write(bytes))
        return true;
    const QString name = m_capture->fileName();
    QPointer<nvEmulator> self(this);
    stopCapture();
    if (self)
        emit StatusChange(QStringLiteral("Capture stopped: %1 cannot be written").arg(name));
    return !self.isNull();
}

Int nvEmulator::CaptureMode() const
{
    return m_capture ? Int(m_capture->mode()) : Int(0);
}

Int nvEmulator::CaptureSource() const
{
    return m_captureSource;
}

QString nvEmulator::CaptureFileName() const
{
    return m_capture && m_capture->mode() != 3 ? m_capture->fileName() : QString();
}

// --- Clipboard -----------------------------------------------------------------------------

void nvEmulator::setClipboardText(const QString &text)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

QString nvEmulator::rectangleText(const std::function<QString(int)> &lineText, int lines, Int left,
    Int top, Int right, Int bottom) const
{
    int l = std::max<int>(0, left);
    int r = right < 0 ? std::numeric_limits<int>::max() : int(right);
    int t = std::max<int>(0, top);
    int b = bottom < 0 ? lines - 1 : std::min<int>(bottom, lines - 1);
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    QStringList out;
    for (int row = t; row <= b; ++row)
        out << trimmedRight(lineText(row).mid(l, qsizetype(r) - l + 1));
    return out.join(u'\n');
}

void nvEmulator::Copy(Int left, Int top, Int right, Int bottom)
{
    if (left == 0 && top == 0 && right == 0 && bottom == 0) {
        if (m_screen->hasSelection())
            setClipboardText(m_screen->selectedText());
        return;
    }
    setClipboardText(rectangleText([this](int row) { return m_screen->rowText(row); },
        m_screen->rows(), left, top, right, bottom));
}

void nvEmulator::CopyHistory(Int left, Int top, Int right, Int bottom)
{
    const int lines = m_screen->historyCount();
    if (left == 0 && top == 0 && right == 0 && bottom == 0) {
        right = -1;
        bottom = -1;
    }
    if (lines == 0) {
        setClipboardText(QString());
        return;
    }
    setClipboardText(rectangleText(
        [this](int row) { return m_screen->historyText(row); }, lines, left, top, right, bottom));
}

void nvEmulator::Paste(QString *fileName)
{
    const QString name = fileName ? *fileName : QString();
    QString text;
    if (name.isEmpty()) {
        const QClipboard *clipboard = QGuiApplication::clipboard();
        text = clipboard ? clipboard->text() : QString();
        if (text.isEmpty())
            return;
    } else {
        QFile file(name);
        if (!file.exists())
            rt::raise(53, QStringLiteral("File not found: %1").arg(name));
        if (!file.open(QIODevice::ReadOnly))
            rt::raise(75, QStringLiteral("Path/File access error: %1").arg(name));
        text = QString::fromUtf8(file.readAll());
    }
    requireConnection();
    QByteArray bytes = hostText(text, m_settings->PasteEOLMode(), char(m_settings->PasteEOLChar()));
    if (m_settings->PasteEOFMode() != 0)
        bytes += char(m_settings->PasteEOFChar());
    sendToHost(bytes);
    if (m_settings->Duplex() != 0)
        m_screen->feed(bytes);
}

// --- Terminal ------------------------------------------------------------------------------

void nvEmulator::Reset(Int mode)
{
    if (mode < 0 || mode > 2)
        rt::raise(5);
    if (mode == 2 && m_settings->Device() == device::None)
        fail(emuerror::NoDevice);
    if (mode != 2) {
        m_screen->reset();
        m_screen->clearSelection();
        m_input.clear();
        applyTerminalModes();
        reportLocation(true);
    }
    if (mode != 1 && m_settings->Device() != device::None)
        connectHost();
}

void nvEmulator::Emulate(const QString &text)
{
    m_screen->feed(text.toLatin1());
    reportLocation();
}

// A row or column given to a method: -1 is the cursor's, anything else must be on the screen.
static int checkedPlace(Int value, int cursor, int count, const char *what)
{
    if (value == -1)
        return cursor;
    if (value < 0 || value >= count)
        fail(emuerror::BadPosition, QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(value));
    return value;
}

int nvEmulator::checkedRow(Int row) const
{
    return checkedPlace(row, m_screen->cursor().y(), m_screen->rows(), "row");
}

int nvEmulator::checkedCol(Int col) const
{
    return checkedPlace(col, m_screen->cursor().x(), m_screen->cols(), "column");
}

void nvEmulator::checkPage(Int page) const
{
    if (page != -1 && page != 0)
        fail(emuerror::BadPage, QString::number(page));
}

static int colorCode(Int color, Int current)
{
    if (color == -1)
        return current;
    if (color < -1 || color > 255)
        rt::raise(380);
    return color;
}

void nvEmulator::SetText(const QString &text, Int col, Int row, Int color)
{
    const int r = checkedRow(row);
    const int c = checkedCol(col);
    m_screen->putText(r, c, text, colorCode(color, m_color));
}

void nvEmulator::SetBlock(Block *block, Int left, Int top, Int page)
{
    if (!block)
        rt::raise(91);
    checkPage(page);
    const int t = checkedRow(top);
    const int l = checkedCol(left);
    for (int r = 0; r < block->Rows() && t + r < m_screen->rows(); ++r)
        m_screen->putCells(t + r, l, block->row(r), block->Cols());
}

Block *nvEmulator::GetBlock(Int left, Int top, Int right, Int bottom, Int page)
{
    checkPage(page);
    int l = checkedCol(left);
    int t = checkedRow(top);
    int r = right == -1 ? m_screen->cols() - 1 : checkedCol(right);
    int b = bottom == -1 ? m_screen->rows() - 1 : checkedRow(bottom);
    if (r < l)
        std::swap(l, r);
    if (b < t)
        std::swap(t, b);
    auto *block = new Block(b - t + 1, r - l + 1);
    std::vector<Cell> cells(static_cast<size_t>(m_screen->cols()));
    for (int row = t; row <= b; ++row) {
        m_screen->readRow(row, cells.data());
        std::copy(cells.begin() + l, cells.begin() + r + 1, block->row(row - t));
    }
    return block;
}

void nvEmulator::Break()
{
    requireConnection();
    m_channel->sendBreak();
}

void nvEmulator::Clear(Int left, Int top, Int right, Int bottom, Int color)
{
    const int code = colorCode(color, m_color);
    if (left == -1 && top == -1 && right == -1 && bottom == -1) {
        m_screen->clearRect(0, 0, m_screen->cols() - 1, m_screen->rows() - 1, code);
        m_screen->setCursor(0, 0);
        reportLocation();
        return;
    }
    const int l = left == -1 ? 0 : checkedCol(left);
    const int t = top == -1 ? 0 : checkedRow(top);
    const int r = right == -1 ? m_screen->cols() - 1 : checkedCol(right);
    const int b = bottom == -1 ? m_screen->rows() - 1 : checkedRow(bottom);
    m_screen->clearRect(std::min(l, r), std::min(t, b), std::max(l, r), std::max(t, b), code);
}

void nvEmulator::SetSelection(Int left, Int top, Int right, Int bottom)
{
    const int l = checkedCol(left);
    const int t = checkedRow(top);
    const int r = right == -1 ? m_screen->cols() - 1 : checkedCol(right);
    const int b = bottom == -1 ? m_screen->rows() - 1 : checkedRow(bottom);
    m_screen->setSelection({ m_screen->screenLine(t), l }, { m_screen->screenLine(b), r });
}

void nvEmulator::ClearSelection()
{
    m_screen->clearSelection();
}

void nvEmulator::Locate(Int col, Int row, Int page)
{
    checkPage(page);
    const int r = checkedRow(row);
    const int c = checkedCol(col);
    m_screen->setCursor(r, c);
    reportLocation();
}

void nvEmulator::LoadImage(const QString &, Int, Int, Int, Int, Int, Int)
{
    fail(emuerror::NotSupported, QStringLiteral("images"));
}

void nvEmulator::UnloadImage(const QString &)
{
    fail(emuerror::NotSupported, QStringLiteral("images"));
}

void nvEmulator::PlayMIDI(const QString &)
{
    fail(emuerror::NotSupported, QStringLiteral("MIDI"));
}

void nvEmulator::PlayWave(const QString &)
{
    fail(emuerror::NotSupported, QStringLiteral("sound files"));
}

QString nvEmulator::GetText(Int col, Int row, Int cols, Int)
{
    const int r = checkedRow(row);
    const int c = checkedCol(col);
    const QString line = m_screen->rowText(r);
    return cols < 0 ? line.mid(c) : line.mid(c, cols);
}

// --- Mouse table ---------------------------------------------------------------------------

void nvEmulator::MouseTableReset()
{
    m_mouseTable.clear();
}

void nvEmulator::MouseTableAdd(
    Int button, const QString &pattern, const QString &rClick, const QString &rDblClk)
{
    m_mouseTable.append({ button, pattern, rClick, rDblClk });
}

Int nvEmulator::shiftMask(Qt::KeyboardModifiers mods)
{
    Int mask = 0;
    if (mods & Qt::ShiftModifier)
        mask |= 1;
    if (mods & Qt::ControlModifier)
        mask |= 2;
    if (mods & Qt::AltModifier)
        mask |= 4;
    return mask;
}

bool nvEmulator::mouseTableHit(QMouseEvent *event, Int button, bool doubleClick)
{
    if (m_mouseTable.isEmpty())
        return false;
    auto *view = qobject_cast<ScreenView *>(sender());
    Screen::Pos pos;
    if (!view || !view->cellAt(event->position().toPoint(), &pos))
        return false;
    int from = 0;
    int to = 0;
    if (!m_screen->wordAt(pos, &from, &to))
        return false;
    const QString word = m_screen->lineText(pos.line).mid(from, to - from + 1);
    for (const MouseEntry &entry : std::as_const(m_mouseTable)) {
        if (entry.button != button || !wildcardMatch(entry.pattern, word))
            continue;
        const QString text = doubleClick ? entry.doubleClick : entry.click;
        if (text.isEmpty())
            return false;
        const QPoint p = event->position().toPoint();
        if (text.startsWith(QLatin1String("menu:"), Qt::CaseInsensitive))
            emit ContextMenu(3, Int(p.x()), Int(p.y()), text.mid(5));
        else
            sendKeys(hostText(text, 3));
        return true;
    }
    return false;
}

void nvEmulator::onMousePressed(QMouseEvent *event, bool *handled, bool doubleClick)
{
    const Int button = vbButton(event->button());
    Int asked = button;
    const QPoint p = event->position().toPoint();
    QPointer<nvEmulator> self(this);
    emit ButtonPress(&asked, shiftMask(event->modifiers()), Int(p.x()), Int(p.y()));
    if (!self)
        return;
    if (asked == 0 || mouseTableHit(event, button, doubleClick)) {
        *handled = true;
        return;
    }
    if (event->button() == Qt::RightButton && !doubleClick) {
        *handled = true;
        emit ContextMenu(2, Int(p.x()), Int(p.y()), QString());
    }
}

// --- Waits ---------------------------------------------------------------------------------

int nvEmulator::runWait(int timeoutSeconds, const std::function<bool()> &done)
{
    if (done())
        return 1;
    if (timeoutSeconds == 0)
        return 0;
    if (m_waitLoop)
        fail(emuerror::Busy, QStringLiteral("another method is waiting"));
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    if (timeoutSeconds > 0) {
        connect(&timer, &QTimer::timeout, &loop, [&loop] { loop.exit(0); });
        timer.start(timeoutSeconds * 1000);
    }
    m_waitLoop = &loop;
    m_waitDone = done;
    BusyScope busy(this);
    QPointer<nvEmulator> self(this);
    const int result = loop.exec();
    if (!self) {
        busy.release();
        return -1;
    }
    m_waitLoop = nullptr;
    m_waitDone = nullptr;
    return result;
}

void nvEmulator::wakeWaiter()
{
    if (m_waitLoop && m_waitDone && m_waitDone())
        m_waitLoop->exit(1);
}

QString nvEmulator::ReadText(Int mode, Int length, Int timeout)
{
    if (mode < 0 || mode > 2)
        rt::raise(5);
    const qsizetype n = length > 0 ? length : 32767;
    const bool linkUp = m_channel && m_channel->isConnected();
    QString line;
    bool gotLine = false;
    const int result = runWait(mode == 2 || !linkUp ? 0 : timeout, [&] {
        if (mode == 1)
            return gotLine = gotLine || m_input.takeLine(&line, n);
        return mode == 2 || m_input.size() >= n;
    });
    if (result < 0)
        return QString();
    return gotLine ? line : m_input.take(n);
}

void nvEmulator::Output(const QString &text)
{
    requireConnection();
    sendToHost(hostText(text, 3));
}

Int nvEmulator::WaitFor(Int compare, Int timeout, const QVariantList &targets)
{
    QStringList list;
    for (const QVariant &target : targets.mid(0, 10))
        list << (rt::IsEmpty(target) ? QString() : rt::CStr(target));
    if (std::all_of(list.begin(), list.end(), [](const QString &t) { return t.isEmpty(); }))
        rt::raise(449);
    const Qt::CaseSensitivity cs = compare ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const bool linkUp = m_channel && m_channel->isConnected();
    int hit = 0;
    const int result = runWait(linkUp ? int(timeout) : 0, [&] {
        hit = m_input.takeThrough(list, cs);
        return hit > 0;
    });
    return result == 1 ? Int(hit) : Int(0);
}

void nvEmulator::Abort()
{
    QPointer<nvEmulator> self(this);
    if (!endTransfer(AsciiUpload::Aborted))
        return;
    if (m_dialing && m_channel) {
        m_dialing = false;
        m_dialResult = -1;
        m_channel->hangUp();
    }
    if (self && m_waitLoop)
        m_waitLoop->exit(0);
}

// --- Transfers -----------------------------------------------------------------------------

// Ends the running transfer, if any (one runs at a time): an upload is aborted, a download
// keeps what came (result: Completed or Aborted). False when a handler of the transfer's events
// closed the control.
bool nvEmulator::endTransfer(int result)
{
    QPointer<nvEmulator> self(this);
    if (m_upload)
        m_upload->abort();
    else if (m_download)
        m_download->finish(result);
    return !self.isNull();
}

void nvEmulator::checkTransfer(Int protocol) const
{
    if (protocol >= 1 && protocol <= 4)
        fail(emuerror::ProtocolNotAvailable,
            QStringList { "Kermit", "XModem", "YModem", "ZModem" }.at(protocol - 1));
    if (protocol != 0)
        rt::raise(5);
    if (m_upload || m_download)
        fail(emuerror::Busy, QStringLiteral("a transfer is running"));
    requireConnection();
}

QStringList nvEmulator::transferFiles(const QString &fileName) const
{
    // "directory NUL name NUL name ..." from the transfer dialogs, or a single path.
    QStringList parts = fileName.split(QChar(0));
    QString dir;
    if (parts.size() > 1)
        dir = parts.takeFirst();
    else if (!m_settings->DefaultXferDir().isEmpty())
        dir = m_settings->DefaultXferDir();
    QStringList files;
    for (const QString &part : std::as_const(parts)) {
        if (part.isEmpty())
            continue;
        files << (QFileInfo(part).isRelative() && !dir.isEmpty() ? QDir(dir).filePath(part) : part);
    }
    if (files.isEmpty())
        rt::raise(5, QStringLiteral("No file named for the transfer"));
    return files;
}

void nvEmulator::onTransferProgress()
{
    if (m_upload) {
        m_xferFiles = m_upload->filesDone();
        m_xferBytes = m_upload->bytesSent();
    } else if (m_download) {
        m_xferBytes = m_download->bytesReceived();
    }
}

void nvEmulator::onTransferFinished(int result)
{
    onTransferProgress();
    const bool upload = m_upload;
    if (m_download && result != AsciiDownload::Failed)
        m_xferFiles = 1;
    if (QObject *transfer = sender())
        transfer->deleteLater();
    m_upload = nullptr;
    m_download = nullptr;
    m_transferResult = result;
    if (m_shutdown)
        return;
    static const char *const outcomes[] = { "complete", "aborted", "failed" };
    m_statusText = QStringLiteral("%1 %2").arg(
        upload ? QStringLiteral("Upload") : QStringLiteral("Download"),
        QLatin1String(outcomes[std::clamp(result, 0, 2)]));
    QPointer<nvEmulator> self(this);
    emit StatusChange(m_statusText);
    if (self)
        emit StateNotify(3, rt::False);
    if (self)
        wakeWaiter();
}

Int nvEmulator::waitTransfer(Int wait)
{
    if (!wait)
        return 0;
    const int result = runWait(-1, [this] { return !m_upload && !m_download; });
    if (result < 0)
        return AsciiUpload::Aborted;
    return Int(result == 1 ? m_transferResult : int(AsciiUpload::Aborted));
}

template<class Transfer> void nvEmulator::beginTransfer(Transfer *transfer, const QString &status)
{
    m_xferFiles = 0;
    m_xferBytes = 0;
    connect(transfer, &Transfer::progress, this, &nvEmulator::onTransferProgress);
    connect(transfer, &Transfer::finished, this, &nvEmulator::onTransferFinished);
    m_statusText = status;
    emit StatusChange(m_statusText);
    emit StateNotify(3, rt::True);
}

Int nvEmulator::Upload(const QString &fileName, Int protocol, Int mode, Int, Int wait)
{
    checkTransfer(protocol);
    const QStringList files = transferFiles(fileName);
    auto *upload = new AsciiUpload(
        files, mode == 1, m_settings->AsciiEOL(), m_settings->AsciiDelay(),
        [this](const QByteArray &bytes) { return sendToHost(bytes); }, this);
    m_upload = upload;
    beginTransfer(upload, QStringLiteral("Uploading ") + QFileInfo(files.first()).fileName());
    upload->start();
    return waitTransfer(wait);
}

Int nvEmulator::Download(const QString &fileName, Int protocol, Int mode, Int overwrite, Int wait)
{
    checkTransfer(protocol);
    const QStringList files = transferFiles(fileName);
    if (files.size() != 1)
        rt::raise(5, QStringLiteral("An ASCII download writes one file"));
    auto *download
        = new AsciiDownload(files.first(), mode == 1, overwrite != 0, m_downloadIdleMs, this);
    m_download = download;
    beginTransfer(download, QStringLiteral("Downloading ") + QFileInfo(files.first()).fileName());
    return waitTransfer(wait);
}

Int nvEmulator::Dial(const QString &phoneNumber, Int wait)
{
    if (m_settings->Device() != device::Modem)
        fail(emuerror::CannotDial);
    if (!m_channel || m_channel->device() != device::Modem || m_channelKey != connectionKey())
        connectHost();
    if (!m_channel)
        fail(emuerror::NoDevice);
    m_dialing = true;
    m_dialResult = -1;
    m_statusText = QStringLiteral("Dialling ") + phoneNumber;
    emit StatusChange(m_statusText);
    if (m_channel->isOpen()) {
        if (const int code = m_channel->dial(phoneNumber)) {
            m_dialing = false;
            return Int(code);
        }
    } else {
        m_pendingDial = phoneNumber;
        if (m_channel->state() == Channel::State::Closed)
            m_channel->open();
    }
    if (!wait)
        return 0;
    const int result = runWait(-1, [this] { return !m_dialing; });
    if (result < 0)
        return -1;
    m_dialing = false;
    return Int(m_dialResult);
}

Int nvEmulator::HangUp(Int wait)
{
    if (!m_channel || m_channel->state() == Channel::State::Closed)
        return 0;
    m_pendingDial.clear();
    m_dialing = false;
    if (const int code = m_channel->hangUp())
        return Int(code);
    if (!wait)
        return 0;
    runWait(30, [this] { return !m_channel || !m_channel->isConnected(); });
    return 0;
}

// --- Alternate sink ------------------------------------------------------------------------

void nvEmulator::AttachAlternateSink(nvEmulator *sink, Int exitMode, Int exitCode)
{
    if (!sink || sink == this)
        rt::raise(5);
    DetachAlternateSink();
    if (sink->m_source)
        sink->m_source->DetachAlternateSink(); // a sink shows one source at a time
    m_sink = sink;
    sink->m_source = this;
    m_sinkExitMode = exitMode;
    m_sinkExitCode = char(exitCode & 0xFF);
}

void nvEmulator::DetachAlternateSink()
{
    if (m_sink) {
        m_sink->m_source = nullptr;
        m_sink = nullptr;
    } else if (m_source) {
        m_source->DetachAlternateSink();
    }
}

Int nvEmulator::AttachState() const
{
    return m_sink ? 1 : m_source ? 2 : 0;
}

// --- Extension, life cycle, server ---------------------------------------------------------

void nvEmulator::SetExtension(QString *leadIn, QString *terminator)
{
    const QString oldLeadIn = QString::fromLatin1(m_extension.beginMarker());
    const QString oldTerminator = QString::fromLatin1(m_extension.endMarker());
    const QString newLeadIn = leadIn ? *leadIn : QString();
    const QString newTerminator = terminator ? *terminator : QString();
    m_extension.setMarkers(hostText(newLeadIn, 3), hostText(newTerminator, 3));
    if (leadIn)
        *leadIn = oldLeadIn;
    if (terminator)
        *terminator = oldTerminator;
}

void nvEmulator::Startup()
{
    const std::function<void()> events[] = {
        [this] { emit TermChange(m_settings->TermType()); },
        [this] { raiseDeviceChange(); },
        [this] { emit StatusChange(m_statusText); },
        [this] { emit ScreenChange(Cols(), Rows(), 1, m_extendedMode ? rt::True : rt::False); },
        [this] { reportLocation(true); },
        [this] { emit PrinterChange(m_printerState); },
        [this] { emit CaptureChange(m_capture ? rt::True : rt::False); },
        [this] { emit KeyboardLockChange(m_lockKeyboard ? rt::True : rt::False); },
        [this] {
            emit HistoryChange(
                m_historyVisible ? rt::True : rt::False, m_lockHistory ? rt::True : rt::False);
        },
    };
    QPointer<nvEmulator> self(this);
    for (const std::function<void()> &raise : events) {
        raise();
        if (!self)
            return; // a handler closed the window
    }
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
    if (!m_serverMode || !m_channel || !m_channel->isConnected())
        return 0;
    return sendToHost(HostProtocol::encodeServerRequest(text)) ? 1 : 0;
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

void nvEmulator::setPage(Int page)
{
    checkPage(page);
}

void nvEmulator::setcolor(Int color)
{
    if (color < -1 || color > 255)
        rt::raise(380);
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
    m_historyVisible = value;
    updateHistoryPane();
    emit HistoryChange(value ? rt::True : rt::False, m_lockHistory ? rt::True : rt::False);
}

void nvEmulator::updateHistoryPane()
{
    auto *layout = static_cast<QVBoxLayout *>(this->layout());
    m_historyPane->setVisible(m_historyVisible > 0);
    m_view->setVisible(m_historyVisible < 100);
    layout->setStretch(0, m_historyVisible);
    layout->setStretch(1, 100 - m_historyVisible);
    historyPaneChanged();
}

void nvEmulator::historyPaneChanged()
{
    const int maximum = std::max(0, m_screen->historyCount() - m_historyView->visibleLines());
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
        rt::raise(380);
    }
}

Int nvEmulator::XferStatus() const
{
    return m_upload || m_download ? rt::True : rt::False;
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
        rt::raise(381);
    return m_fkeys.at(index);
}

void nvEmulator::setFKeys(Int index, const QString &text)
{
    if (index < 0 || index >= functionKeys)
        rt::raise(381);
    m_fkeys[index] = text;
}

Int nvEmulator::Colors(Int index) const
{
    if (index < 0 || index >= m_colors.size())
        rt::raise(381);
    return m_colors.at(index);
}

void nvEmulator::setColors(Int index, Int code)
{
    if (index < 0 || index >= m_colors.size())
        rt::raise(381);
    if (code < 0 || code > 255)
        rt::raise(380);
    m_colors[index] = code;
    applyColors();
}

void nvEmulator::setExtendedMode(Int mode)
{
    m_extendedMode = mode ? 1 : 0;
    applyScreenSize();
}

Long nvEmulator::hWnd() const
{
    return Long(effectiveWinId());
}

Int nvEmulator::Busy() const
{
    return m_busy > 0 || m_upload || m_download ? rt::True : rt::False;
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
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) {
        const int group
            = ((mods & Qt::ShiftModifier) ? 1 : 0) + ((mods & Qt::ControlModifier) ? 2 : 0);
        const QString &text = m_fkeys.at(key - Qt::Key_F1 + 12 * group);
        if (!text.isEmpty()) {
            sendKeys(hostText(text, 3));
            event->accept();
            return;
        }
    }
    QByteArray bytes;
    if (key == Qt::Key_Backspace && !(mods & (Qt::ControlModifier | Qt::AltModifier)))
        bytes = m_settings->BkspSendsDel() ? QByteArray("\x7f") : QByteArray("\b");
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

void nvEmulator::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_settings->ScaleFont() != 0)
        applyFont();
    historyPaneChanged();
}

} // namespace emu
