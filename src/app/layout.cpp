// Layouts (the main window's placement and the session windows that have a session file, in an
// INI text) and the recent-file list.

#include "app/appglobals.h"
#include "app/fileparts.h"
#include "app/files.h"
#include "app/mainwindow.h"
#include "app/msgbox.h"
#include "app/norvalis.h"
#include "app/nvmain.h"
#include "app/posform.h"
#include "app/profile.h"
#include "inifile/inidocument.h"
#include "inifile/inifile.h"
#include "runtime/errnum.h"
#include "runtime/screen.h"
#include "runtime/values.h"
#include "runtime/wholefile.h"
#include "session/sessions.h"
#include "session/sessionwindow.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLayout>
#include <QWidget>

QString gLayoutFile;

namespace Nvmain {

namespace {

const QString kMainSection = QStringLiteral("Norvalis Main");
const QString kLayoutFilter
    = QStringLiteral("Norvalis Layout (*.nvly,*.lyt)|*.nvly;*.lyt|All Files (*.*)|*.*");

// A window as the layout keeps it: its state (0 normal, 1 minimized, 2 maximized) and its normal
// rectangle in twips.
struct Placement
{
    rt::Long state = 0;
    rt::Long top = 0;
    rt::Long left = 0;
    rt::Long height = 0;
    rt::Long width = 0;
};

// The session window active in the main window, or nullptr.
SessionWindow *activeSessionWindow()
{
    rt::MdiForm *main = TheMainForm();
    return main ? SessionWindow::of(main->activeForm()) : nullptr;
}

bool readPlacement(const rt::Form &form, Placement &placement)
{
    WindowPlacement window;
    if (!GetWindowPlacement(form, window))
        return false;
    placement.state = window.showCmd - 1;
    placement.top = rt::pixelsToTwipsY(int(window.top));
    placement.left = rt::pixelsToTwipsX(int(window.left));
    placement.height = rt::pixelsToTwipsY(int(window.bottom - window.top));
    placement.width = rt::pixelsToTwipsX(int(window.right - window.left));
    return true;
}

// Gives a window its placement. A rectangle without width or height (keys left out, 0 or
// negative) keeps the window's own size: a window of no size could not be seen or reached. Sizes
// and places are bounded by the desktop first (screen.h).
void applyPlacement(rt::Form &form, const Placement &placement)
{
    WindowPlacement window;
    if (!GetWindowPlacement(form, window))
        return;
    const rt::Long ownWidth = window.right - window.left;
    const rt::Long ownHeight = window.bottom - window.top;
    const rt::Long width = rt::boundedSize(rt::twipsToPixelsX(placement.width), rt::Axis::X);
    const rt::Long height = rt::boundedSize(rt::twipsToPixelsY(placement.height), rt::Axis::Y);
    window.showCmd = placement.state + 1;
    window.left = rt::boundedPosition(rt::twipsToPixelsX(placement.left), rt::Axis::X);
    window.top = rt::boundedPosition(rt::twipsToPixelsY(placement.top), rt::Axis::Y);
    window.right = window.left + (width > 0 ? width : ownWidth);
    window.bottom = window.top + (height > 0 ? height : ownHeight);
    // A layout made on other screens (or edited by hand) may place a window where nobody can
    // reach it: such a window is brought back into the screen or the main window's area.
    const QRect kept
        = rt::keptOnScreen(QRect(QPoint(window.left, window.top),
                               QSize(window.right - window.left, window.bottom - window.top)),
            form.windowWidget());
    window.left = kept.left();
    window.top = kept.top();
    window.right = kept.left() + kept.width();
    window.bottom = kept.top() + kept.height();
    SetWindowPlacement(form, window);
}

// Reads a section's placement; coordinates are 32-bit (a window beyond about 2,200 pixels lies
// past the 16-bit range of twips).
Placement placementIn(const QString &file, const QString &section, rt::Long defaultState)
{
    Placement placement;
    placement.state = Profile::GetIniLong(section, u"WindowState"_qs, defaultState, file);
    placement.top = Profile::GetIniLong(section, u"Top"_qs, 0, file);
    placement.left = Profile::GetIniLong(section, u"Left"_qs, 0, file);
    placement.height = Profile::GetIniLong(section, u"Height"_qs, 0, file);
    placement.width = Profile::GetIniLong(section, u"Width"_qs, 0, file);
    return placement;
}

// The highest k of the [File<k>] sections a layout holds (0 when none): a count beyond it names
// nothing more.
rt::Long lastFileSection(const QString &file)
{
    inifile::IniFile layout(file);
    if (!layout.load())
        return 0;
    rt::Long last = 0;
    for (const QString &section : layout.sections()) {
        if (!section.startsWith(u"File"_qs, Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const rt::Long k = section.mid(4).toInt(&ok);
        if (ok && k > last)
            last = k;
    }
    return last;
}

// The layout as text ------------------------------------------------------------------------

class LayoutWriter
{
public:
    QByteArray text() const { return m_doc.serialize(); }

    void put(const QString &section, const QString &key, rt::Long value)
    {
        m_doc.setValue(section, key, QString::number(value));
    }
    void putNonZero(const QString &section, const QString &key, rt::Long value)
    {
        if (value != 0)
            put(section, key, value);
    }
    void putText(const QString &section, const QString &key, const QString &text)
    {
        if (m_doc.setValue(section, key, text) == inifile::IniDocument::Edit::Refused)
            rt::raise(rt::err::InvalidPropertyValue);
    }
    void putRectangle(const QString &section, const Placement &placement)
    {
        putNonZero(section, u"Top"_qs, placement.top);
        putNonZero(section, u"Left"_qs, placement.left);
        putNonZero(section, u"Height"_qs, placement.height);
        putNonZero(section, u"Width"_qs, placement.width);
    }

private:
    inifile::IniDocument m_doc;
};

// The [Norvalis Main] section and one [File<k>] section per session window with a session file.
// A session window's state is written whenever it would not read back as the active window's
// (the reader's default for it), so a normal window beside a minimized active one stays normal.
QByteArray layoutText()
{
    rt::ResumeNext quiet;
    LayoutWriter layout;
    rt::MdiForm *main = TheMainForm();
    SessionWindow *active = activeSessionWindow();
    Placement mainPlacement;
    if (main && readPlacement(*main, mainPlacement)) {
        layout.put(kMainSection, u"WindowState"_qs, mainPlacement.state);
        layout.putRectangle(kMainSection, mainPlacement);
    }
    Placement activePlacement;
    rt::Long childState = 0;
    if (active && readPlacement(active->form(), activePlacement)) {
        childState = activePlacement.state;
        layout.putNonZero(kMainSection, u"ChildState"_qs, childState);
    }
    rt::Long files = 0;
    for (const SessionPtr &session : gApp->ClsSessions().NewEnum()) {
        quiet([&] {
            const QString fileName = session->FileName();
            if (fileName.isEmpty())
                return;
            const QString section = u"File"_qs + QString::number(++files);
            layout.putText(section, u"FileName"_qs, fileName);
            SessionWindow *window = session->Window();
            Placement placement;
            if (window && readPlacement(window->form(), placement)) {
                if (placement.state != 0 || childState != 0)
                    layout.put(section, u"WindowState"_qs, placement.state);
                layout.putRectangle(section, placement);
            }
            if (active && window && active->form().Tag == window->form().Tag)
                layout.putText(section, u"Active"_qs, Profile::BoolToStr(true));
        });
    }
    layout.putNonZero(kMainSection, u"Files"_qs, files);
    quiet([&] {
        QString script;
        if (gScriptHost)
            gScriptHost->LayoutScript(0, script);
        if (!script.isEmpty())
            layout.putText(kMainSection, u"Script"_qs, script);
    });
    return layout.text();
}

// Opens one [File<k>] section's session, hidden, placed and then shown; the session window (and
// the state it was given), or nullptr when the file gave no session (the user has been told).
SessionWindow *openLayoutSession(
    const QString &file, const QString &section, rt::Long childState, rt::Long &state)
{
    const QString name = Profile::GetIniString(section, u"FileName"_qs, QString(), file);
    SessionPtr session;
    if (Files::IsConfigFile(name)) {
        rt::ResumeNext quiet;
        quiet([&] { session = gApp->ClsSessions().Add(name, 0, 0, rt::True); });
        if (quiet.failed())
            qCWarning(lcApp).noquote()
                << "layout session not opened:" << name << quiet.error().description;
    }
    SessionWindow *window = session ? session->Window() : nullptr;
    if (!window) {
        MessageBox(u"Unable to open "_qs + name, MsgBox::Exclamation);
        return nullptr;
    }
    const Placement placement = placementIn(file, section, childState);
    state = placement.state;
    applyPlacement(window->form(), placement);
    // Showing it fits the emulator to the window.
    window->form().show();
    return window;
}

// Activates a session window and, when state is 0 or more, gives it that state again (the
// windows shown after it may have taken its maximized state over, as MDI windows do).
void focusWindow(SessionWindow *window, rt::Long state)
{
    rt::MdiChildForm *child = qobject_cast<rt::MdiChildForm *>(&window->form());
    if (child && child->frame() && child->subWindow())
        child->frame()->mdiArea()->setActiveSubWindow(child->subWindow());
    if (state >= 0)
        window->form().setWindowState(rt::Int(state));
    if (IAmActive() && window->form().widget())
        window->form().widget()->setFocus();
}

void reportUnsaved(const QString &file, const QString &reason)
{
    qCWarning(lcApp).noquote() << "layout not saved:" << file << reason;
    MessageBox(u"Unable to save "_qs + file + u"\n"_qs + reason, MsgBox::Exclamation);
}

} // namespace

void FileSaveLayout()
{
    rt::ResumeNext quiet;
    if (gLayoutFile.isEmpty() || !gApp)
        return;
    quiet([&] { SaveAllSessions(); });
    rt::setMousePointer(rt::vbHourglass);
    QByteArray text;
    if (quiet([&] { text = layoutText(); })) {
        // Written whole or not at all: a failure keeps the layout the file held.
        const rt::WriteResult written = rt::writeWholeFile(gLayoutFile, text);
        if (written)
            quiet([&] { UpdateRecentFileList(gLayoutFile, false); });
        else
            quiet([&] { reportUnsaved(gLayoutFile, written.reason); });
    }
    rt::setMousePointer(rt::vbDefault);
    logSkippedStep(quiet, "FileSaveLayout");
}

void FileSaveLayoutAs()
{
    rt::ResumeNext quiet;
    quiet([&] { UpdateRecentFileList(gLayoutFile, true); });
    QString chosen;
    quiet(
        [&] { chosen = AskFileName(true, u"Save As"_qs, gLayoutFile, u"nvly"_qs, kLayoutFilter); });
    if (!chosen.isEmpty()) {
        gLayoutFile = chosen;
        quiet([&] { FileSaveLayout(); });
    }
    // After a cancel the old name goes back to the top of the list.
    quiet([&] { UpdateRecentFileList(gLayoutFile, false); });
    logSkippedStep(quiet, "FileSaveLayoutAs");
}

void LoadLayout(const QString &file)
{
    rt::ResumeNext quiet;
    const rt::Long state = Profile::GetIniLong(kMainSection, u"WindowState"_qs, -1, file);
    if (state < 0 || !gApp)
        return;
    gLayoutFile = file;
    const Placement mainPlacement = placementIn(file, kMainSection, -1);
    const rt::Long childState = Profile::GetIniLong(kMainSection, u"ChildState"_qs, 0, file);
    // The window to activate at the end: the one active now, unless the layout marks one.
    SessionWindow *toActivate = activeSessionWindow();
    rt::Long activeState = -1;
    quiet([&] {
        if (rt::MdiForm *main = TheMainForm()) {
            applyPlacement(*main, mainPlacement);
            // The session windows are kept within the main window's area as it now is.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            if (QLayout *layout = main->widget() ? main->widget()->layout() : nullptr)
                layout->activate();
        }
    });
    const rt::Long files
        = qMin(Profile::GetIniLong(kMainSection, u"Files"_qs, 0, file), lastFileSection(file));
    for (rt::Long k = 1; k <= files; ++k) {
        const QString section = u"File"_qs + QString::number(k);
        quiet([&] {
            rt::Long windowState = -1;
            SessionWindow *window = openLayoutSession(file, section, childState, windowState);
            if (window && Profile::GetIniBool(section, u"Active"_qs, false, file)) {
                toActivate = window;
                activeState = windowState;
            }
        });
    }
    quiet([&] {
        SessionWindow *window = toActivate ? toActivate : activeSessionWindow();
        if (window && SessionWindow::all().contains(window))
            focusWindow(window, window == toActivate ? activeState : -1);
    });
    const QString script = Profile::GetIniString(kMainSection, u"Script"_qs, QString(), file);
    quiet([&] {
        if (!script.isEmpty() && gScriptHost)
            gScriptHost->RunFile(script, -1, 0);
    });
    quiet([&] { UpdateRecentFileList(gLayoutFile, false); });
    logSkippedStep(quiet, "LoadLayout");
}

void UpdateRecentFileList(const QString &file, bool remove)
{
    rt::Proc h("nvmain", "UpdateRecentFileList");
    if (file.isEmpty() || !gApp)
        return;
    // Names keep their own spelling and compare exactly: file names are case-sensitive here.
    const auto isFile = [](QString path) {
        QString drive, directory, name;
        return FileSpec::ParseDirectory(path, drive, directory, name) == FileSpec::PathFile;
    };
    if (!remove && !isFile(file))
        return;
    Norvalis &app = *gApp;
    const rt::Int size = app.RecentListSize();
    if (size <= 0)
        return;
    QStringList entries;
    h([&] {
        for (rt::Int i = 0; i < size; ++i)
            entries << app.Recent(i);
    });
    qsizetype found = -1;
    for (qsizetype i = 0; i < entries.size() && found < 0; ++i) {
        if (entries.at(i) == file && (remove || isFile(entries.at(i))))
            found = i;
    }
    if (found >= 0) {
        entries.removeAt(found);
        entries.append(QString());
    }
    if (!remove) {
        entries.prepend(file);
        entries.removeLast();
    }
    h([&] {
        for (rt::Int i = 0; i < size; ++i)
            app.setRecent(i, entries.value(i));
    });
    h([&] { Profile::DeleteRegKey(Profile::HKCU, SettingsKey(u"RecentFiles"_qs)); });
    h([&] {
        int number = 0;
        for (const QString &entry : std::as_const(entries)) {
            if (!entry.isEmpty())
                Profile::PutRegString(Profile::HKCU,
                    SettingsKey(u"RecentFiles\\File_"_qs + QString::number(++number)), entry,
                    QString());
        }
    });
}

} // namespace Nvmain
