// The files a renaming run moves together: a photo (JPEG, HEIF or a camera
// raw file) and the files of the same stem in its folder that belong to it
// (the raw beside its JPEG, a phone's live-photo video and edit file, an
// editor's sidecar). The extension is the name from its first "." on, as
// the renaming rules have it.
#pragma once

#include <string>
#include <vector>

namespace pictrim {

enum class TFileRole {
  None,       // not a file the renaming takes
  Jpeg,       // .jpg .jpeg
  Heif,       // .heic .heif .hif .avif
  Raw,        // the camera raw files
  Companion,  // .mov .mp4 .aae .xmp .thm .wav, and a photo's own sidecar such as .CR2.xmp
};

// The role of a file by its extension (from the first "." on, any letter case).
TFileRole FileRoleOf(const std::string& Extension);

// True for the roles of a photo, which can lead a group.
bool IsPhotoRole(TFileRole Role);

// True for a file name the renaming lists: one that holds "." and one of
// the extensions of the roles in any letter case, anywhere behind the stem
// (so "x.jpg.bak" is listed, though it is no candidate).
bool IsListedForRenaming(const std::string& FileName);

struct TGroupMember {
  std::string Name;       // the file name, without its folder
  std::string Extension;  // from the first "." on, letter case kept
  TFileRole Role = TFileRole::None;
};

struct TPhotoGroup {
  std::string Folder;  // ending with the delimiter
  std::string Stem;
  std::vector<TGroupMember> Members;  // in the order of the listing
  // The members to take the date from, best first: the JPEGs, the HEIF
  // files, the raw files, each in the order of the listing. Empty when the
  // group holds no photo.
  std::vector<size_t> Photos() const;
};

// Groups the listed files (full paths, in the listing's order) by folder and
// stem, in the order of each group's first file. A file whose extension is
// already in its group in another letter case starts a group of its own, so
// that no two members of a group are given names that differ in letter case
// only. A path without a folder, or a name without a ".", is a group of its
// own with no stem.
std::vector<TPhotoGroup> GroupPhotoFiles(const std::vector<std::string>& Paths);

}  // namespace pictrim
