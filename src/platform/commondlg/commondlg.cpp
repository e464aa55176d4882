// The common dialogs and their test hook.

#include "commondlg/commondlg.h"

#include "runtime/interaction.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QTreeView>

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

// The detail columns (size, type, date) as wide as their contents, the name taking the rest.
void showDetailsWhole(QFileDialog &dialog)
{
    dialog.resize(dialog.sizeHint().expandedTo(QSize(720, 440)));
    auto *view = dialog.findChild<QTreeView *>(QStringLiteral("treeView"));
    if (!view)
        return;
    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column)
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

// Several chosen files (of one directory): the directory, a NUL, the names separated by NULs.
QString multipleAnswer(const QStringList &files)
{
    QStringList parts { QFileInfo(files.constFirst()).absolutePath() };
    for (const QString &file : files)
        parts << QFileInfo(file).fileName();
    return parts.join(QChar(0));
}

Answer askFile(const Request &request)
{
    QFileDialog dialog(request.owner, request.title, request.directory);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    showDetailsWhole(dialog);
    const QStringList filters = nameFilters(request.filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.filterIndex - 1));
    dialog.setDefaultSuffix(request.defaultExtension);
    if (request.kind == Kind::SaveFile) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(
            request.kind == Kind::OpenOrNewFile ? QFileDialog::AnyFile
                : request.multiSelect               ? QFileDialog::ExistingFiles
                                                    : QFileDialog::ExistingFile);
    }
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.size() == 1)
        return files.constFirst();
    return multipleAnswer(files);
}

Answer ask(const Request &request)
{
    if (hook())
        return hook()(request);
    if (!rt::userCanAnswer()) {
        rt::logUnanswered(QStringLiteral("file dialog"), request.title, QStringLiteral("Cancel"));
        return std::nullopt;
    }
    if (request.kind != Kind::Folder)
        return askFile(request);
    QFileDialog dialog(request.owner, request.title, request.directory);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
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

Answer chooseFile(const Request &request)
{
    Request asked = request;
    asked.directory = existingDirectory(request.directory);
    const Answer answer = ask(asked);
    if (!answer || answer->isEmpty())
        return std::nullopt;
    if (request.multiSelect && answer->contains(QChar(0))) {
        const qsizetype nul = answer->indexOf(QChar(0));
        return QDir::cleanPath(QDir(asked.directory).absoluteFilePath(answer->left(nul)))
            + answer->mid(nul);
    }
    QString path = QDir(asked.directory).absoluteFilePath(*answer);
    if (!request.defaultExtension.isEmpty() && QFileInfo(path).suffix().isEmpty()
        && !QFileInfo(path).isFile())
        path += u'.' + request.defaultExtension;
    return QDir::cleanPath(path);
}

QStringList nameFilters(const QString &filter)
{
    QStringList filters;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(u';', u' ');
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        QString description = parts.at(i);
        const qsizetype paren = description.indexOf(u'(');
        if (paren > 0)
            description = description.left(paren).trimmed();
        filters << description + QStringLiteral(" (") + patterns + u')';
    }
    return filters;
}

} // namespace commondlg
