#pragma once
// Splitting and classifying paths. POSIX form: "/" is the only separator, there is no drive part
// (the drive out-argument is always ""), absolute paths start with "/", a directory part begins
// and ends with "/" (the root is "/"), and "\" is an ordinary name character.

#include "runtime/error.h"

#include <QString>

namespace FileSpec {

// Result codes of ParseDirectory.
enum : rt::Int {
    PathInvalid = 0, // invalid path or missing directory
    PathDirectory = 1, // an existing directory (name "" and the full path ends with "/")
    PathFile = 2, // an existing file (or other non-directory entry)
    PathNew = 3, // does not exist, but its directory does: a new name in an existing directory
};

// Resolves path (as typed) against base (gStartDir when base is empty) and classifies it.
// path is rewritten to the full path (drive & directory & name) in every case; drive, directory
// and name are written only for results 1, 2 and 3. Reports nothing: any failure answers 0.
// Example: /tmp/x/data where data is a directory gives 1, path "/tmp/x/data/", drive "",
// directory "/tmp/x/data/", name "".
rt::Int ParseDirectory(QString &path, QString &drive, QString &directory, QString &name,
    const QString &base = QString());

// Splits a path without touching the file system: drive (always ""), directory (up to and including
// the last "/", or ""), base name (before the last ".") and extension (from the last "." on, or
// ""). Reports as "ParseFileName" from module "filespec".
void ParseFileName(
    const QString &path, QString &drive, QString &directory, QString &baseName, QString &extension);

} // namespace FileSpec
