#pragma once
// The folder browser: the user picks a directory, starting at a given folder.

#include <QString>

class QWidget;

namespace modBrowseForFolder {

// Shows the folder browser titled title, opened at initialFolder (the Documents folder when it is
// empty or reads "My Documents"), owned by owner. Returns the chosen directory's full path, or ""
// when the user cancels.
QString BrowseForFolder(const QString &title, const QString &initialFolder, QWidget *owner);

} // namespace modBrowseForFolder
