#pragma once
// The common dialogs: Qt's own (non-native) dialogs as the program asks for them, and a hook
// through which tests answer a dialog instead of showing a window. When nobody can answer
// (runtime/interaction.h) a dialog without a hook cancels at once, and says so in the log.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace commondlg {

enum class Kind { Folder, OpenFile };

// What the program asks the user.
struct Request
{
    Kind kind = Kind::Folder;
    QString title;
    QString directory; // where the dialog opens
    QWidget *owner = nullptr;
    QStringList filters; // OpenFile: "Text Files (*.txt)" ..., the first one chosen
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

// Lets the user choose an existing file to read, opened at directory (a file's path opens its
// folder with the file selected; a missing folder opens at its nearest existing parent). The
// answer is the file's absolute path.
Answer openFile(
    QWidget *owner, const QString &title, const QString &directory, const QStringList &filters);

} // namespace commondlg
