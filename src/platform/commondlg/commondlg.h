#pragma once
// The common dialogs: Qt's own (non-native) dialogs as the program asks for them, and a hook
// through which tests answer a dialog instead of showing a window. When nobody can answer
// (runtime/interaction.h) a dialog without a hook cancels at once, and the log says so.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace commondlg {

// OpenOrNewFile opens a file that may not exist yet (its folder must): the caller makes it.
enum class Kind { Folder, OpenFile, SaveFile, OpenOrNewFile };

// What the program asks the user.
struct Request
{
    Kind kind = Kind::Folder;
    QString title;
    QString directory; // where the dialog opens
    QWidget *owner = nullptr;
    // File dialogs: the name offered first, the filter ("Text Files (*.txt)|*.txt|All Files
    // (*.*)|*.*": description and pattern pairs), the filter chosen first (from 1) and the
    // extension (without the dot) a name without one gets.
    QString fileName;
    QString filter;
    int filterIndex = 1;
    QString defaultExtension;
    // Open dialogs: the user may choose several files of one directory.
    bool multiSelect = false;
};

// The user's answer: nothing when cancelled, else the chosen path.
using Answer = std::optional<QString>;

// While a hook is set, every dialog asks it and shows no window. An empty hook shows windows
// again.
using Hook = std::function<Answer(const Request &request)>;
void setHook(Hook hook);

// Lets the user choose an existing directory, opened at directory (or its nearest existing
// parent). The answer is the directory's absolute path without a trailing "/" ("/" for the root).
Answer chooseFolder(QWidget *owner, const QString &title, const QString &directory);

// Lets the user choose an existing file to open (Kind::OpenFile), a file to open that may be new
// (Kind::OpenOrNewFile) or a file name to save under (Kind::SaveFile, asking before an existing
// file is replaced). request.kind tells which. The
// answer is an absolute path; a name typed without extension gets the default extension.
// Several files chosen (multiSelect) answer their directory's absolute path, a NUL, and the
// names separated by NULs; one file chosen answers its path as above.
Answer chooseFile(const Request &request);

// The Qt name filters of a filter text ("Text Files (*.txt)|*.txt|All Files (*.*)|*.*"): each
// description with its patterns, "*.*" as "*".
QStringList nameFilters(const QString &filter);

} // namespace commondlg
