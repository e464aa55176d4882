#pragma once
// The common dialogs: Qt's own (non-native) dialogs as the program asks for them, and a hook
// through which tests answer a dialog instead of showing a window.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace commondlg {

enum class Kind { Folder };

// What the program asks the user.
struct Request
{
    Kind kind = Kind::Folder;
    QString title;
    QString directory; // where the dialog opens
    QWidget *owner = nullptr;
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

} // namespace commondlg
