#pragma once
// The settings dialog's fields, as one table: each row is a field of a page (its group, label,
// where its value lives, the setting's name and the kind of value), and the kind decides the
// widget, how a stored value shows, what a typed text must look like and what is stored. The
// window (settingsdlg.h) builds its pages from this table; nothing here knows of widgets.
//
// A field's value lives in the emulator's Settings object (by setting name and index), in the
// session's own settings (SessionSettings) or in the program's settings (GlobalSettings).

#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

namespace settingsdlg {

enum class Page { Connection, Terminal, Screen, Printer, Paste, Transfer, Mouse, Program };
constexpr int PageCount = 8;
QString pageTitle(Page page);

enum class Store { Emulator, Session, Program };

enum class Kind {
    Number, // a whole number from min to max
    Text, // any text without control characters
    HostName, // a host name the connection can use ("" only for a device without a host)
    HostPort, // 1 to 65535, or "" for a device with a port of its own (Telnet, SSH)
    Check, // on or off
    List, // one of the field's choices, stored as its code
    Font, // a fixed-pitch font family; "" the default
    PrinterName, // a printer; "" the default
    SerialPort, // a serial device name, stored as the emulator's port code
    Color, // #RRGGBB, stored as 0x00BBGGRR
    File, // "" or an existing file
    Picture, // "" or a picture file
    MenuFile, // "" (the default menu), a name alone (the menu loader finds it) or an existing file
    NewFile, // "" or a file, new or not, in an existing folder
    Directory, // "" or an existing folder
    HotKeys, // letters A to Z, stored as bit n for letter A + n
    Note, // a line of explanation; no value
};

// The devices a field applies to: bit (1 << device code). Other devices hide the field.
using Devices = unsigned;
constexpr Devices AllDevices = ~0u;

struct Choice
{
    int code;
    QString text;
};

struct Field
{
    Page page = Page::Connection;
    QString group;
    QString label; // a Note's text
    Store store = Store::Emulator;
    QString name; // the setting or property
    Kind kind = Kind::Text;
    int index = 0; // of an indexed emulator setting
    int min = 0; // range of a Number
    int max = 0;
    QList<Choice> choices; // of a List
    QString hint; // what an empty text means
    Devices devices = AllDevices;

    // The field's widget name: "emu:Palette3", "session:Caption", "app:RecentListSize".
    QString key() const;
    // The label as a message names the field (without a closing colon).
    QString title() const;
};

// Every field, pages in order, groups in order within a page.
const QList<Field> &fields();

// The group of the Connection page that holds the options of a network link: the window titles
// it by the device chosen.
QString deviceGroup();

// What an empty port means for a device (the Port box's grey hint): its own port, or that a plain
// TCP link needs one.
QString hostPortHint(int device);

// Text kinds (all but Check, List, Font, PrinterName and Note):
// the text a stored value shows as;
QString textOf(const Field &field, const QVariant &value);
// what is wrong with a typed text, as the end of a sentence that begins with the field's title
// ("" when nothing is), for the device chosen on the Connection page (-1 when none is);
QString problemOf(const Field &field, const QString &text, int device = -1);
// the value to store for a text without problem.
QVariant valueOf(const Field &field, const QString &text);

// A check box's state as its store keeps it: 1/0 in the emulator, True/False elsewhere.
QVariant checkValue(Store store, bool on);

// The emulator's port code of a serial device name ("/dev/ttyUSB0", or without "/dev/").
std::optional<int> serialPort(const QString &device);

// A start page as the program names it: "X" Transfer, "M" Mouse, "P" Printer (with a session;
// the Program page without one); anything else the first page.
std::optional<Page> startPage(const QString &name, bool withSession);

} // namespace settingsdlg
