// The checks that decide which file a command line or a drop opens as the source.
//
// Pure functions of paths and file contents: no window, no graph. UI thread or any thread.
#pragma once

#include <QString>
#include <QStringList>

namespace segmora {

// Whether the path's extension (from the last "." of its file name, the dot included),
// lower-cased in ASCII, equals one of extensions. "clip.MPEG" matches ".mpeg"; "clip.mpeg4",
// "clip" and a dot in a folder name ("/a.mp4/clip") do not.
bool IsSupportedFile(const QString& path, const QStringList& extensions);

// Whether a file at path exists as a file (not a folder) and has a supported extension: what a
// command line or a drop must name to be opened.
bool IsOpenableSource(const QString& path, const QStringList& extensions);

// The first line of a list file, without its line break (LF or CR LF) and read as UTF-8 (a
// byte-order mark is skipped). Empty when the file is missing, unreadable, a folder or empty.
// A relative name on the line is taken relative to the list file's folder.
QString ReadListFileFirstLine(const QString& listPath);

// The file a command-line argument names: a ".tmp" list file (any letter case) names the file
// on its first line, any other argument names itself. Empty when there is nothing to open.
QString CommandLineCandidate(const QString& argument);

// Why a command-line argument opens nothing, in words for the user: a file that is not there,
// a folder, a type not among extensions, a list file naming no video. Empty when the argument
// is empty or names an openable source.
QString CommandLineProblem(const QString& argument, const QStringList& extensions);

// The file a path typed into the Source field names, as an absolute path: blanks around it
// dropped, a "file:" URL (as a file manager copies one) read as its local path, a leading "~/"
// taken as the home folder, a relative path taken from the working folder. Empty for a text of
// blanks only.
QString TypedSourcePath(const QString& text);

} // namespace segmora
