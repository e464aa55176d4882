// The common dialogs and their test hook.

#include "commondlg/commondlg.h"

#include "runtime/interaction.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace commondlg {

namespace {

Hook &hook()
{
    static Hook instance;
    return instance;
}

// The directory itself when it exists, else its nearest existing parent, else the home folder.
QString existingDirectory(const QString &directory)
{
    if (directory.isEmpty())
        return QDir::homePath();
    QString path = QDir::cleanPath(QDir(directory).absolutePath());
    while (!QFileInfo(path).isDir()) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return QDir::homePath();
        path = parent;
    }
    return path;
}

void setUp(QFileDialog &dialog, const Request &request)
{
    switch (request.kind) {
    case Kind::Folder:
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        break;
    case Kind::OpenFile:
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
        dialog.setNameFilters(request.filters);
        break;
    }
}

Answer ask(const Request &request)
{
    if (hook())
        return hook()(request);
    if (!rt::userCanAnswer()) {
        rt::logUnanswered(QStringLiteral("file dialog"), request.title, QStringLiteral("Cancel"));
        return std::nullopt;
    }
    QFileDialog dialog(request.owner, request.title, request.directory);
    setUp(dialog, request);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

void setHook(Hook newHook)
{
    hook() = std::move(newHook);
}

Answer chooseFolder(QWidget *owner, const QString &title, const QString &directory)
{
    Request request;
    request.kind = Kind::Folder;
    request.title = title;
    request.directory = existingDirectory(directory);
    request.owner = owner;
    const Answer answer = ask(request);
    if (!answer || answer->isEmpty())
        return std::nullopt;
    return QDir::cleanPath(QFileInfo(*answer).absoluteFilePath());
}

Answer openFile(
    QWidget *owner, const QString &title, const QString &directory, const QStringList &filters)
{
    Request request;
    request.kind = Kind::OpenFile;
    request.title = title;
    request.directory = QFileInfo(directory).isFile() ? QFileInfo(directory).absoluteFilePath()
                                                      : existingDirectory(directory);
    request.owner = owner;
    request.filters = filters;
    const Answer answer = ask(request);
    if (!answer || answer->isEmpty())
        return std::nullopt;
    return QFileInfo(*answer).absoluteFilePath();
}

} // namespace commondlg
