// Path conventions of this platform: the one folder delimiter, the root test
// that stands for "a drive root", and the folder the program runs from.
#pragma once

#include <cstddef>
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

// The value of an environment variable; empty when it is not set.
std::string EnvironmentValue(const char* Name);

// The user's home folder: $HOME, else the one the user database names.
std::string HomeFolder();

// The longest path and the longest name of a folder entry, in bytes, that
// the file system takes.
inline constexpr size_t MaxPathBytes = 4095;
inline constexpr size_t MaxNameBytes = 255;

// Whether Path can be used for its length: too long as a whole, a name in
// it too long, or fine.
enum class TPathLength { Fits, PathTooLong, NameTooLong };
TPathLength PathLengthOf(const std::string& Path);

// Path made absolute, with every link, "." and ".." resolved as far as the
// path exists; the rest, not there yet, is resolved by its text alone.
std::string ResolvedPath(const std::string& Path);

// True when Path is Folder or lies below it, both resolved: links and ".."
// cannot hide that one lies in the other.
bool LiesInside(const std::string& Path, const std::string& Folder);

// The file name of a path: everything after its last delimiter.
std::string ExtractFileName(const std::string& Path);

// The folder part of a path including its last delimiter ("" when it has none).
std::string ExtractFilePath(const std::string& Path);

}  // namespace pictrim
