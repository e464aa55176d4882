#include "app/browsefolder.h"

#include "commondlg/commondlg.h"

#include <QStandardPaths>

namespace modBrowseForFolder {

namespace {

// The browser's own starting text for "no folder given" is "My Documents": the user's Documents
// folder here.
QString startFolder(const QString &initialFolder)
{
    const QString folder = initialFolder.isEmpty() ? QStringLiteral("My Documents") : initialFolder;
    if (folder.compare(QLatin1String("My Documents"), Qt::CaseInsensitive) != 0)
        return folder;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? folder : documents;
}

} // namespace

QString BrowseForFolder(const QString &title, const QString &initialFolder, QWidget *owner)
{
    return commondlg::chooseFolder(owner, title, startFolder(initialFolder)).value_or(QString());
}

} // namespace modBrowseForFolder
