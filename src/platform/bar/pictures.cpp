// The tool pictures: picture numbers to icons.
//
// Each picture is the desktop theme's icon of that purpose when the theme has one, else our own
// image under :/pictures/<name>.png, else a standard icon of the widget style. Pictures 1 to 40 are
// by purpose; a further set carries the number of the command it belongs to, so that a menu file
// may name a command's picture by the command's own number.

#include "bar/bar.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QStyle>

namespace bar {

namespace {

struct Picture
{
    int number;
    const char *name; // our own image :/pictures/<name>.png
    const char *theme; // freedesktop icon name, or null
    QStyle::StandardPixmap standard;
};

// clang-format off
constexpr Picture kPictures[] = {
    { 1, "new", "document-new", QStyle::SP_FileIcon },
    { 2, "open", "document-open", QStyle::SP_DialogOpenButton },
    { 3, "save", "document-save", QStyle::SP_DialogSaveButton },
    { 4, "print", "document-print", QStyle::SP_FileIcon },
    { 5, "copy", "edit-copy", QStyle::SP_FileIcon },
    { 6, "paste", "edit-paste", QStyle::SP_FileIcon },
    { 7, "find", "edit-find", QStyle::SP_FileDialogContentsView },
    { 8, "connect", "network-connect", QStyle::SP_DriveNetIcon },
    { 9, "disconnect", "network-disconnect", QStyle::SP_DriveNetIcon },
    { 10, "dial", "call-start", QStyle::SP_DriveNetIcon },
    { 11, "hangup", "call-stop", QStyle::SP_DialogCancelButton },
    { 12, "capture", "media-record", QStyle::SP_DialogSaveButton },
    { 13, "upload", "go-up", QStyle::SP_ArrowUp },
    { 14, "download", "go-down", QStyle::SP_ArrowDown },
    { 15, "settings", "preferences-system", QStyle::SP_FileDialogDetailedView },
    { 16, "help", "help-contents", QStyle::SP_DialogHelpButton },
    { 17, "about", "help-about", QStyle::SP_MessageBoxInformation },
    { 18, "cut", "edit-cut", QStyle::SP_FileIcon },
    { 19, "clear", "edit-clear", QStyle::SP_DialogResetButton },
    { 20, "reset", "view-refresh", QStyle::SP_BrowserReload },
    { 21, "break", "process-stop", QStyle::SP_BrowserStop },
    { 22, "cascade", nullptr, QStyle::SP_TitleBarNormalButton },
    { 23, "tilehorizontal", nullptr, QStyle::SP_TitleBarNormalButton },
    { 24, "tilevertical", nullptr, QStyle::SP_TitleBarNormalButton },
    { 25, "savelayout", "document-save-as", QStyle::SP_DialogSaveButton },
    { 26, "close", "window-close", QStyle::SP_DialogCloseButton },
    { 27, "exit", "application-exit", QStyle::SP_DialogCloseButton },
    { 28, "lock", "object-locked", QStyle::SP_DialogApplyButton },
    { 29, "unlock", "object-unlocked", QStyle::SP_DialogResetButton },
    { 30, "terminal", "utilities-terminal", QStyle::SP_ComputerIcon },
    { 31, "history", "document-open-recent", QStyle::SP_FileDialogListView },
    { 32, "printscreen", nullptr, QStyle::SP_DesktopIcon },
    { 33, "printer", "printer", QStyle::SP_DesktopIcon },
    { 34, "script", "system-run", QStyle::SP_MediaPlay },
    { 35, "recent", "document-open-recent", QStyle::SP_FileDialogBack },
    { 36, "phonebook", "x-office-address-book", QStyle::SP_FileDialogInfoView },
    { 37, "online", nullptr, QStyle::SP_DialogYesButton },
    { 38, "offline", nullptr, QStyle::SP_DialogNoButton },
    { 39, "pastefile", nullptr, QStyle::SP_FileIcon },
    { 40, "arrangeicons", nullptr, QStyle::SP_FileDialogListView },
};

// Pictures known by the number of their command.
constexpr struct { int number; int picture; } kCommandPictures[] = {
    { 101, 1 },     // new session
    { 103, 2 },     // open
    { 105, 3 },     // save
    { 108, 25 },    // save layout
    { 114, 35 },    // recent file
    { 203, 33 },    // printer settings
    { 303, 5 },     // copy
    { 305, 6 },     // paste
    { 400, 16 },    // help
    { 505, 30 },    // normal mode
    { 506, 31 },    // history mode
    { 507, 28 },    // lock history
    { 508, 29 },    // unlock history
    { 601, 13 },    // upload
    { 602, 14 },    // download
    { 603, 12 },    // capture
    { 704, 10 },    // dial
    { 705, 15 },    // settings
    { 707, 20 },    // reset terminal
    { 708, 21 },    // reset connection
    { 1101, 8 },    // connect
    { 1102, 9 },    // disconnect
    { 1103, 10 },   // dial
    { 1104, 11 },   // hang up
    { 1106, 21 },   // break
    { 1107, 19 },   // clear
    { 1108, 7 },    // find
    { 1109, 4 },    // print
    { 9001, 37 },   // status: connected
    { 9002, 38 },   // status: not connected
};
// clang-format on

const Picture *pictureEntry(int imageNo)
{
    for (const auto &alias : kCommandPictures) {
        if (alias.number == imageNo) {
            imageNo = alias.picture;
            break;
        }
    }
    for (const Picture &entry : kPictures) {
        if (entry.number == imageNo)
            return &entry;
    }
    return nullptr;
}

QIcon makeIcon(const Picture &entry)
{
    const QString own = QStringLiteral(":/pictures/%1.png").arg(QLatin1String(entry.name));
    QIcon fallback;
    if (QFile::exists(own))
        fallback = QIcon(own);
    else if (qApp)
        fallback = QApplication::style()->standardIcon(entry.standard);
    if (!entry.theme)
        return fallback;
    return QIcon::fromTheme(QLatin1String(entry.theme), fallback);
}

} // namespace

bool hasPicture(int imageNo)
{
    return pictureEntry(imageNo) != nullptr;
}

QIcon picture(int imageNo)
{
    // Icons are made once: tools with pictures are set up by the hundred when menus load.
    static QHash<int, QIcon> cache;
    const Picture *entry = pictureEntry(imageNo);
    if (!entry)
        return QIcon();
    auto found = cache.constFind(entry->number);
    if (found == cache.cend())
        found = cache.insert(entry->number, makeIcon(*entry));
    return *found;
}

} // namespace bar
