#include "image/IsolatedDecode.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "image/DecodeProtocol.h"

extern char** environ;

namespace pictrim {
namespace {

using TClock = std::chrono::steady_clock;

std::mutex SettingsMutex;
TDecodeLimits Limits;
std::string ProgramOverride;
TMemoryBudget Budget{TDecodeLimits().BudgetBytes};

bool IsExecutable(const std::string& Path) {
  struct stat info {};
  return !Path.empty() && ::stat(Path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(Path.c_str(), X_OK) == 0;
}

// Relative (a path from the running program's folder) made absolute.
std::string FromThisProgram(const std::string& Relative) {
  char path[4096];
  const ssize_t size = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (size <= 0) return {};
  const std::string self(path, static_cast<size_t>(size));
  const size_t slash = self.rfind('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash + 1) + Relative;
}

// The socket to the decoder, read and written against a deadline.
class TChannel : public decoding::TByteSource, public decoding::TByteSink {
 public:
  TChannel(int Fd, double Seconds) : Fd_(Fd), Seconds_(Seconds) { Restart(); }
  ~TChannel() override { Close(); }

  void Restart() {
    Deadline_ = TClock::now() + std::chrono::duration_cast<TClock::duration>(
                                    std::chrono::duration<double>(Seconds_));
  }
  void Close() {
    if (Fd_ >= 0) ::close(Fd_);
    Fd_ = -1;
  }
  bool TimedOut() const { return TimedOut_; }

  bool Read(void* Data, size_t Size) override {
    return decoding::TransferAll(static_cast<uint8_t*>(Data), Size, [&](uint8_t* At, size_t Left) {
      return Wait(POLLIN) ? ::recv(Fd_, At, Left, 0) : ssize_t{0};
    });
  }

  bool Write(const void* Data, size_t Size) override {
    return decoding::TransferAll(
        static_cast<const uint8_t*>(Data), Size, [&](const uint8_t* At, size_t Left) {
          return Wait(POLLOUT) ? ::send(Fd_, At, Left, MSG_NOSIGNAL) : ssize_t{0};
        });
  }

 private:
  // Waits until the socket is ready for Events; false at the deadline or on error.
  bool Wait(short Events) {
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(Deadline_ - TClock::now());
      if (left.count() <= 0) {
        TimedOut_ = true;
        return false;
      }
      pollfd entry{Fd_, Events, 0};
      const int ready =
          ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return false;
      if (ready > 0) return true;
    }
  }

  int Fd_;
  double Seconds_;
  TClock::time_point Deadline_;
  bool TimedOut_ = false;
};

// One decoder process: started with its end of a socket as standard input,
// its output and error streams on /dev/null, in a process group of its own
// (Ctrl-C on the terminal is the program's to handle, not the decoder's).
class TDecoderProcess {
 public:
  ~TDecoderProcess() { Stop(); }

  // Starts the decoder; the program's end of the socket, or -1.
  int Start(const std::string& Program, uint64_t MemoryBytes) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return -1;
    // Large buffers let the pixels flow in few, large steps.
    const int buffer = 4 << 20;
    for (const int fd : fds) {
      ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
      ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int sig : {SIGINT, SIGTERM, SIGPIPE, SIGQUIT, SIGHUP}) sigaddset(&defaults, sig);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    const std::string memory = std::to_string(MemoryBytes);
    char* argv[] = {const_cast<char*>(Program.c_str()), const_cast<char*>("--decode"),
                    const_cast<char*>(memory.c_str()), nullptr};
    const int error = ::posix_spawn(&Pid_, Program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[1]);
    if (error != 0) {
      Pid_ = -1;
      ::close(fds[0]);
      return -1;
    }
    return fds[0];
  }

  // Why the decoder ended, when it ended on its own within a moment; empty
  // when it exited normally or is still running.
  std::string EndReason() {
    if (Pid_ <= 0) return {};
    for (int i = 0; i < 50 && !Reaped_; ++i) {
      if (Reap(WNOHANG)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(4));
    }
    if (!Reaped_) return {};
    if (WIFSIGNALED(Status_))
      return "the decoder crashed (signal " + std::to_string(WTERMSIG(Status_)) + ")";
    if (WIFEXITED(Status_) && WEXITSTATUS(Status_) != 0)
      return "the decoder failed (status " + std::to_string(WEXITSTATUS(Status_)) + ")";
    return {};
  }

  // Ends the decoder if it still runs and reaps it.
  void Stop() {
    if (Pid_ <= 0 || Reaped_) return;
    ::kill(Pid_, SIGKILL);
    Reap(0);
  }

 private:
  bool Reap(int Options) {
    for (;;) {
      const pid_t done = ::waitpid(Pid_, &Status_, Options);
      if (done < 0 && errno == EINTR) continue;
      if (done == Pid_ || (done < 0 && errno == ECHILD)) Reaped_ = true;
      return Reaped_;
    }
  }

  pid_t Pid_ = -1;
  int Status_ = 0;
  bool Reaped_ = false;
};

double TimeLimitFor(const TDecodeLimits& L, uint64_t FileBytes) {
  const double extra =
      L.ScaleAboveBytes > 0 ? static_cast<double>(FileBytes / L.ScaleAboveBytes) : 0;
  return L.Seconds + extra;
}

uint64_t FileBytesOf(const std::string& Path, const std::vector<uint8_t>* Bytes) {
  if (Bytes != nullptr) return Bytes->size();
  struct stat info {};
  return ::stat(Path.c_str(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

std::string NameOf(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

}  // namespace

TDecodeLimits DecodeLimits() {
  std::lock_guard<std::mutex> lock(SettingsMutex);
  return Limits;
}

void SetDecodeLimits(const TDecodeLimits& NewLimits) {
  std::lock_guard<std::mutex> lock(SettingsMutex);
  Limits = NewLimits;
  Budget.SetCapacity(NewLimits.BudgetBytes);
}

TMemoryBudget& PictureBudget() {
  return Budget;
}

void SetDecoderProgram(const std::string& Path) {
  std::lock_guard<std::mutex> lock(SettingsMutex);
  ProgramOverride = Path;
}

std::string DecoderProgram() {
  {
    std::lock_guard<std::mutex> lock(SettingsMutex);
    if (!ProgramOverride.empty()) return ProgramOverride;
  }
  if (const char* set = std::getenv("PICTRIM_DECODER"); set != nullptr && *set != '\0') return set;
  // Beside the program in the build tree and in a portable copy; in its
  // private folder when installed.
  const std::string beside = FromThisProgram("pictrim-decoder");
  if (IsExecutable(beside)) return beside;
#ifdef PICTRIM_DECODER_INSTALLED
  const std::string installed = FromThisProgram(PICTRIM_DECODER_INSTALLED);
  if (IsExecutable(installed)) return installed;
#endif
#ifdef PICTRIM_DECODER_BUILD_PATH
  return PICTRIM_DECODER_BUILD_PATH;
#else
  return beside;
#endif
}

bool ExceedsPixelLimit(uint64_t Width, uint64_t Height) {
  const uint64_t limit = DecodeLimits().MaxPixels;
  return Width != 0 && Height > limit / Width;
}

TIsolatedDecode DecodeIsolated(FREE_IMAGE_FORMAT Format, int Flags, const std::string& Path,
                               const std::vector<uint8_t>* Bytes) {
  const TDecodeLimits limits = DecodeLimits();
  TMemoryBudget& budget = PictureBudget();
  TIsolatedDecode result;
  TDecoderProcess process;
  const std::string program = DecoderProgram();
  const int fd = process.Start(program, limits.DecoderMemoryBytes);
  if (fd < 0) {
    result.Failure = "the decoder " + program + " could not be started";
    return result;
  }
  const double seconds = TimeLimitFor(limits, FileBytesOf(Path, Bytes));
  TChannel channel(fd, seconds);
  decoding::TRequest request;
  request.Format = Format;
  request.Flags = Flags;
  request.MaxPixels = limits.MaxPixels;
  request.Name = NameOf(Path);
  request.Path = Path;
  decoding::TAnswer answer;
  if (decoding::WriteRequest(channel, request, Bytes)) {
    TMemoryLease lease;
    const auto admit = [&](uint64_t Size, bool Final) {
      if (!Final) {
        lease = budget.Acquire(Size);
        channel.Restart();
        // A decoder that has already ended cannot take the go-ahead; what it
        // wrote before is still read, and its end gives the reason.
        channel.Write(&decoding::GoAhead, 1);
        return true;
      }
      if (Size > lease.Bytes()) {
        lease.Release();
        lease = budget.Acquire(Size);
        channel.Restart();
      }
      return true;
    };
    answer = decoding::ReadAnswer(channel, limits.MaxPixels, admit);
    if (answer.Picture != nullptr) result.Lease = std::move(lease);
  } else {
    answer.Failure = "the decoder did not take the file";
  }
  channel.Close();
  if (answer.Picture != nullptr) {
    result.Picture = answer.Picture;
    result.Damage = std::move(answer.Damage);
    return result;
  }
  if (channel.TimedOut()) {
    result.Failure =
        "the decoder was stopped after " + std::to_string(static_cast<long>(seconds)) + " s";
  } else {
    const std::string ended = process.EndReason();
    result.Failure = ended.empty() ? answer.Failure : ended;
  }
  return result;
}

}  // namespace pictrim
