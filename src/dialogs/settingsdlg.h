#pragma once
// The settings dialog: one window with a page per part of the settings (Connection, Terminal,
// Screen, Printer, Paste, Transfer, Mouse for a session; Program for the whole program), built
// from the field table of settingsfields.h. It is given the session's own settings, the
// program's settings and the session emulator's Settings object; without a session only the
// Program page shows.
//
// OK checks every field the user changed (leaving out those of the Connection page that the
// chosen device does not use, which are hidden); the first one that is wrong shows its message under
// the pages, gets the focus, and nothing at all is written. Otherwise exactly the changed fields
// are written, each through its owner's own setter (so a change reaches the session at once and
// marks it changed), and the window closes. A field whose setter refuses the value keeps the
// window open with the owner's message; what was written before it stays written. Cancel and the
// close box write nothing.
//
// When nobody can answer a window (runtime/interaction.h) Show returns at once as cancelled; when
// the program ends while it is open, it closes as cancelled.

#include "runtime/error.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QVariant>
#include <memory>

class GlobalSettingsIface;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class SessionSettings;
namespace emu {
class Settings;
}
namespace settingsdlg {
class FieldEditor;
enum class Page;
} // namespace settingsdlg

// The entry point the program's commands call.
class SettingsDialog
{
public:
    // Shows the dialog modally over owner on a start page ("X" Transfer, "M" Mouse, "P" the
    // Printer page, or the Program page when no session is given; anything else the first page)
    // and returns when it closes. session and settings are null without a session. The two texts
    // and the two numbers are kept for callers that pass them and mean nothing here. result is
    // True (-1) when OK closed the dialog, False (0) when it was cancelled.
    void Show(SessionSettings *session, GlobalSettingsIface *global, emu::Settings *settings,
        const QString &text1, const QString &text2, const QString &startPage, rt::Long number1,
        rt::Long number2, QWidget *owner, QVariant &result);
};

// The dialog on a start page over the active session: its own settings, the program's settings
// and its emulator's settings, owned by the session's window. Without an active session it shows
// the program's settings alone, owned by mainWindow, when withoutSession allows that; otherwise
// it does nothing. (Commands 203, 313 and 705 and the transfer dialogs' Xfer Settings.)
void ShowSettingsDialog(const QString &startPage, bool withoutSession, QWidget *mainWindow);

// The window itself.
class SettingsWindow : public QDialog
{
    Q_OBJECT
public:
    SettingsWindow(SessionSettings *session, GlobalSettingsIface *global, emu::Settings *settings,
        const QString &startPage, QWidget *owner = nullptr);
    ~SettingsWindow() override;

    // The titles of the pages shown, in order, and of the page on screen.
    QStringList pageTitles() const;
    QString currentPageTitle() const;
    // The message of the last refused OK ("" when OK has not been refused).
    QString errorText() const;

    QListWidget *lstPages = nullptr;
    QStackedWidget *pages = nullptr;
    QLabel *lbError = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdHelp = nullptr; // F1 too: the help of the page on screen

private:
    void cmdOK_Click();
    void cmdHelp_Click();
    void buildPages(bool withSession, bool withProgram);
    QWidget *buildPage(settingsdlg::Page page, bool withSession);
    void showPage(settingsdlg::Page page);
    void showDevice();
    bool applies(unsigned devices) const;
    bool checkChanges();
    bool writeChanges();
    void refuse(const settingsdlg::FieldEditor &editor, const QString &message);

    SessionSettings *m_session;
    GlobalSettingsIface *m_global;
    emu::Settings *m_settings;
    QList<settingsdlg::Page> m_pages; // shown, in order
    std::vector<std::unique_ptr<settingsdlg::FieldEditor>> m_editors;
    settingsdlg::FieldEditor *m_device = nullptr; // the Connection page's device
};
