#include "platform/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace pictrim {

std::optional<TFileTime> GetFileModTime(const std::string& Path) {
  struct stat st {};
  if (::stat(Path.c_str(), &st) != 0) return std::nullopt;
  return TFileTime{st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

bool SetFileModTime(const std::string& Path, const TFileTime& Time) {
  const struct timespec times[2] = {{Time.Seconds, Time.Nanoseconds},
                                    {Time.Seconds, Time.Nanoseconds}};
  return ::utimensat(AT_FDCWD, Path.c_str(), times, 0) == 0;
}

std::tm LocalTimeOf(const TFileTime& Time) {
  std::tm result{};
  ::localtime_r(&Time.Seconds, &result);
  return result;
}

}  // namespace pictrim
