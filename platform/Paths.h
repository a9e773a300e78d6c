// Path conventions of this platform: the one folder delimiter, the root test
// that stands for "a drive root", and the folder the program runs from.
#pragma once

#include <string>

namespace pictrim {

// The folder delimiter used in every path the program builds.
inline constexpr char PathDelimiter = '/';

// True for the file-system root ("/"), the only folder whose own output
// folders end up inside it ("/a/" is not a root).
bool IsRootFolder(const std::string& Folder);

// Appends the delimiter when the text does not end with one already.
std::string IncludeTrailingDelimiter(const std::string& Folder);

// A folder as given on a command line made whole: absolute (taken from the
// working folder when relative), "." and ".." steps and repeated delimiters
// resolved by their text (links are kept), ending with one delimiter.
// Empty stays empty.
std::string CanonicalFolder(const std::string& Folder);

// The folder that holds the running executable, ending with the delimiter.
std::string ExecutableFolder();

// The file name of a path: everything after its last delimiter.
std::string ExtractFileName(const std::string& Path);

// The folder part of a path including its last delimiter ("" when it has none).
std::string ExtractFilePath(const std::string& Path);

}  // namespace pictrim
