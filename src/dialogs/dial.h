#pragma once
// frmDial, the dialer: a modal dialog over the main window that dials a number on the active
// session's modem, hangs up, and keeps the phone book (phonebook.h) named by the application's
// PhoneBookName. It works only for a modem session (Device 4): for any other device it goes
// away unshown. The number and description last used are the application's DialedNumber and
// DialedName, stored when the dialog dials, hangs up or closes.
//
// Each opening (ShowDialer, the main window's command 704) loads the dialog afresh and unloads
// it at the end. The dialog hides itself to dial: the user watches the modem in the session
// window while the session's Dial waits for the outcome. A call that comes through ends the
// dialog; a dial that fails (busy, no carrier, no dial tone ...) brings it back once the
// failure's message has been answered, for another try.
//
// The fields and the phone book are taken up when the dialog is shown, not again when it comes
// back to the front from a window of its own (a message, a file dialog, the dialing
// properties): what the user typed stays. Add and Update refuse a description or number with a
// TAB, CR or LF, saying why; a phone book that cannot be changed is reported with "Error
// updating phone directory file!" and stays as it was.

#include "runtime/form.h"
#include "session/sessionbase.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vplist {
class VPListBox;
}

class frmDial : public rt::Form
{
    Q_OBJECT
public:
    explicit frmDial(QObject *parent = nullptr);

    // The program's one dialer form (made on first use, owned by the application).
    static frmDial &instance();
    // Loads the dialer, shows it modally over owner until it is done, and unloads it.
    static void ShowDialer(QWidget *owner);

    // The phone book in use, and the one whose lines the list shows ("" when none was read).
    QString phoneBookPath() const { return m_bookPath; }
    QString shownPath() const { return m_shownPath; }

    QGroupBox *frPhoneEntry = nullptr;
    QLabel *lbName = nullptr;
    QLabel *lbNumber = nullptr;
    QLineEdit *txName = nullptr;
    QLineEdit *txNumber = nullptr;
    QGroupBox *frPhoneBk = nullptr;
    vplist::VPListBox *phonebk = nullptr;
    QPushButton *cmdDial = nullptr;
    QPushButton *cmdDisc = nullptr;
    QPushButton *cmdNew = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdDelete = nullptr;
    QPushButton *cmdUpdate = nullptr;
    QPushButton *cmdOptions = nullptr;
    QPushButton *cmdChangeDir = nullptr;
    QPushButton *cmdHelp = nullptr;
    QPushButton *cmdClose = nullptr;

protected:
    QWidget *createWidgets() override;
    void Form_Load() override;
    void Form_Activate() override;
    void Form_Deactivate() override;
    void Form_Unload(rt::Int &cancel) override;

private:
    void connectControls();

    void cmdDial_Click();
    void cmdDisc_Click();
    void cmdNew_Click();
    void cmdAdd_Click() { editBook(&frmDial::DialAddEntry); }
    void cmdDelete_Click() { editBook(&frmDial::DialDeleteEntry); }
    void cmdUpdate_Click() { editBook(&frmDial::DialUpdateEntry); }
    void cmdOptions_Click();
    void cmdChangeDir_Click();
    void cmdHelp_Click();
    void cmdClose_Click();
    void phonebk_Click();
    void phonebk_DblClick() { cmdDial_Click(); }
    void txName_Change() { InfoChanged(); }
    void txNumber_Change() { InfoChanged(); }

    // Phone book work.
    void DialAddEntry(const QString &name, const QString &number);
    void DialDeleteEntry(const QString &name, const QString &number);
    void DialUpdateEntry(const QString &name, const QString &number);
    void DialReadBook();
    void readBook();
    void SetListIndex(const QString &text);
    void InfoChanged();

    // Add, Delete and Update: the change with the fields, errors ignored; the number gets the
    // focus.
    void editBook(void (frmDial::*change)(const QString &, const QString &));
    // The phone book named by the application, read when it is another than the one shown.
    void takePhoneBook();
    // Refuses an entry the file cannot hold, saying why; true when it is fine.
    bool entryAccepted(const QString &name, const QString &number);
    void reportUpdateError();
    // DialedNumber and DialedName from the fields; the dialog hidden; the main window shown.
    void storeAndLeave();
    // The session taken at activation; No active session (raised) when there is none.
    SessionPtr session() const;

    SessionPtr m_session;
    rt::Int m_connected = 0;
    bool m_filling = false;
    QString m_bookPath;
    QString m_bookDir;
    QString m_shownPath;
    bool m_freshShow = false; // the next activation takes up the fields and the phone book
    bool m_showAgain = false; // a dial failed: the dialog comes back
    bool m_keepBook = false; // shown again after a failed dial: the book in use stays
    QString m_bookSetting; // the application's phone-book name when the book was last taken
};
