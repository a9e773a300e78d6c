#include "rename/PhotoGroups.h"

#include <algorithm>
#include <array>
#include <map>
#include <string_view>

#include "platform/Paths.h"
#include "util/MoreStr.h"
#include "util/SystemUtils.h"

namespace pictrim {
namespace {

constexpr std::array<std::string_view, 2> JpegExtensions = {".jpg", ".jpeg"};
constexpr std::array<std::string_view, 4> HeifExtensions = {".heic", ".heif", ".hif", ".avif"};
constexpr std::array<std::string_view, 14> RawExtensions = {".cr2", ".cr3", ".crw", ".nef", ".nrw",
                                                            ".arw", ".sr2", ".dng", ".orf", ".rw2",
                                                            ".raf", ".pef", ".srw", ".3fr"};
constexpr std::array<std::string_view, 6> CompanionExtensions = {".mov", ".mp4", ".aae",
                                                                 ".xmp", ".thm", ".wav"};

template <size_t N>
bool IsOneOf(std::string_view Extension, const std::array<std::string_view, N>& List) {
  return std::find(List.begin(), List.end(), Extension) != List.end();
}

// The role of a single extension such as ".jpg" (lower case).
TFileRole SingleRoleOf(std::string_view Extension) {
  if (IsOneOf(Extension, JpegExtensions)) return TFileRole::Jpeg;
  if (IsOneOf(Extension, HeifExtensions)) return TFileRole::Heif;
  if (IsOneOf(Extension, RawExtensions)) return TFileRole::Raw;
  if (IsOneOf(Extension, CompanionExtensions)) return TFileRole::Companion;
  return TFileRole::None;
}

std::vector<std::string> BuildListingMasks() {
  std::vector<std::string> masks;
  const auto add = [&masks](const auto& List) {
    for (std::string_view extension : List) masks.emplace_back(extension.substr(1));
  };
  add(JpegExtensions);
  add(HeifExtensions);
  add(RawExtensions);
  add(CompanionExtensions);
  return masks;
}

// The rank of a photo role when the date is chosen: JPEG first.
int PhotoRank(TFileRole Role) {
  switch (Role) {
    case TFileRole::Jpeg:
      return 0;
    case TFileRole::Heif:
      return 1;
    default:
      return 2;
  }
}

bool HoldsExtension(const TPhotoGroup& Group, const std::string& Extension) {
  const std::string lower = LowerCase(Extension);
  return std::any_of(Group.Members.begin(), Group.Members.end(), [&](const TGroupMember& Member) {
    return LowerCase(Member.Extension) == lower;
  });
}

}  // namespace

TFileRole FileRoleOf(const std::string& Extension) {
  const std::string lower = LowerCase(Extension);
  const TFileRole role = SingleRoleOf(lower);
  if (role != TFileRole::None) return role;
  // A sidecar named after its photo's whole name: IMG_0001.CR2.xmp.
  const size_t second = lower.find('.', 1);
  if (second == std::string::npos) return TFileRole::None;
  const bool sidecar = IsPhotoRole(SingleRoleOf(std::string_view(lower).substr(0, second))) &&
                       SingleRoleOf(std::string_view(lower).substr(second)) == TFileRole::Companion;
  return sidecar ? TFileRole::Companion : TFileRole::None;
}

bool IsPhotoRole(TFileRole Role) {
  return Role == TFileRole::Jpeg || Role == TFileRole::Heif || Role == TFileRole::Raw;
}

bool IsListedForRenaming(const std::string& FileName) {
  static const std::vector<std::string> masks = BuildListingMasks();
  return std::any_of(masks.begin(), masks.end(), [&FileName](const std::string& Mask) {
    return NameFitsMask(FileName, std::string(), Mask);
  });
}

std::vector<size_t> TPhotoGroup::Photos() const {
  std::vector<size_t> photos;
  for (size_t i = 0; i < Members.size(); ++i) {
    if (IsPhotoRole(Members[i].Role)) photos.push_back(i);
  }
  std::stable_sort(photos.begin(), photos.end(), [this](size_t A, size_t B) {
    return PhotoRank(Members[A].Role) < PhotoRank(Members[B].Role);
  });
  return photos;
}

std::vector<TPhotoGroup> GroupPhotoFiles(const std::vector<std::string>& Paths) {
  std::vector<TPhotoGroup> groups;
  // Folder and stem -> the groups of that stem (twins in letter case apart).
  std::map<std::pair<std::string, std::string>, std::vector<size_t>> byStem;
  for (const std::string& path : Paths) {
    const size_t split = path.rfind(PathDelimiter);
    const std::string folder =
        split == std::string::npos ? std::string() : path.substr(0, split + 1);
    const std::string name = path.substr(folder.size());
    const size_t dot = name.find('.');
    TGroupMember member{name, std::string(), TFileRole::None};
    if (folder.empty() || dot == std::string::npos) {
      groups.push_back(TPhotoGroup{folder, std::string(), {member}});
      continue;
    }
    member.Extension = name.substr(dot);
    member.Role = FileRoleOf(member.Extension);
    const std::string stem = name.substr(0, dot);
    if (member.Role == TFileRole::None) {
      groups.push_back(TPhotoGroup{folder, stem, {member}});
      continue;
    }
    std::vector<size_t>& same = byStem[{folder, stem}];
    const auto fits = std::find_if(same.begin(), same.end(), [&](size_t Index) {
      return !HoldsExtension(groups[Index], member.Extension);
    });
    if (fits != same.end()) {
      groups[*fits].Members.push_back(member);
    } else {
      same.push_back(groups.size());
      groups.push_back(TPhotoGroup{folder, stem, {member}});
    }
  }
  return groups;
}

}  // namespace pictrim
