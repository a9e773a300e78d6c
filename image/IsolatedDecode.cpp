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
#include <cstdio>
#include <cstring>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "image/DecodeProtocol.h"
#include "image/PictureShrink.h"
#include "platform/BatchTarget.h"

extern char** environ;

namespace pictrim {
namespace {

using TClock = std::chrono::steady_clock;

// How often a wait on the decoder looks at the cancel flag.
constexpr int CancelCheckMillis = 100;

std::mutex SettingsMutex;
TDecodeLimits Limits;
std::string ProgramOverride;
TDecodeClock ClockOverride;
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

// What a process has used: its processor time, and whether it is at work
// (running, waiting for a core, or reading its file) rather than asleep.
struct TProcessUse {
  double Seconds = 0;
  bool Working = false;
};

TProcessUse UseOf(pid_t Pid) {
  TProcessUse use;
  if (Pid <= 0) return use;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(Pid));
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return use;
  char line[1024];
  const size_t size = std::fread(line, 1, sizeof line - 1, file);
  std::fclose(file);
  line[size] = '\0';
  // The name in brackets may hold anything: the fields follow its last ')'.
  const char* fields = std::strrchr(line, ')');
  char state = 0;
  unsigned long long user = 0, system = 0;
  if (fields == nullptr ||
      std::sscanf(fields + 1, " %c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &state,
                  &user, &system) != 3)
    return use;
  const long ticks = ::sysconf(_SC_CLK_TCK);
  use.Seconds = ticks > 0 ? static_cast<double>(user + system) / static_cast<double>(ticks) : 0;
  use.Working = state == 'R' || state == 'D';
  return use;
}

// The time limit of one decode: Seconds of the decoder's processor time,
// however busy the machine is, so that a file's fate does not depend on
// the load. A decoder that is found doing nothing at all (neither using a
// core, nor waiting for one or for its file, nor moving a byte) once Seconds
// have passed on the decode clock is stuck and stopped as well.
class TDecodeTimer {
 public:
  enum class TVerdict { Going, OverTime, Stuck };

  TDecodeTimer(pid_t Pid, double Seconds, TDecodeClock Clock)
      : Pid_(Pid), Seconds_(Seconds), Clock_(std::move(Clock)) {
    Restart();
  }

  // The limit counts from now on.
  void Restart() {
    Start_ = Last_ = UseOf(Pid_).Seconds;
    Started_ = Clock_();
    Moved_ = false;
  }
  // Bytes moved between the decoder and the program.
  void Moved() { Moved_ = true; }

  TVerdict Check() {
    const TProcessUse use = UseOf(Pid_);
    if (use.Seconds - Start_ > Seconds_) return TVerdict::OverTime;
    const bool busy = use.Working || use.Seconds > Last_ || Moved_;
    Last_ = use.Seconds;
    Moved_ = false;
    if (busy) return TVerdict::Going;
    const std::chrono::duration<double> waited = Clock_() - Started_;
    return waited.count() >= Seconds_ ? TVerdict::Stuck : TVerdict::Going;
  }

 private:
  pid_t Pid_;
  double Seconds_;
  TDecodeClock Clock_;
  double Start_ = 0;
  double Last_ = 0;
  TClock::time_point Started_;
  bool Moved_ = false;
};

// The socket to the decoder, read and written within the decode's time
// limit; a wait also ends when the cancel flag is set. The descriptor stays
// the caller's.
class TChannel : public decoding::TByteSource, public decoding::TByteSink {
 public:
  TChannel(int Fd, pid_t Pid, double Seconds) : Fd_(Fd), Timer_(Pid, Seconds, DecodeClock()) {}

  void Restart() { Timer_.Restart(); }
  bool TimedOut() const { return Verdict_ != TDecodeTimer::TVerdict::Going; }
  // True when the decoder used up its processor time (rather than hung).
  bool OverTime() const { return Verdict_ == TDecodeTimer::TVerdict::OverTime; }
  bool Cancelled() const { return Cancelled_; }

  bool Read(void* Data, size_t Size) override {
    return decoding::TransferAll(static_cast<uint8_t*>(Data), Size, [&](uint8_t* At, size_t Left) {
      return Wait(POLLIN) ? Moved(::recv(Fd_, At, Left, 0)) : ssize_t{0};
    });
  }

  bool Write(const void* Data, size_t Size) override {
    return decoding::TransferAll(
        static_cast<const uint8_t*>(Data), Size, [&](const uint8_t* At, size_t Left) {
          return Wait(POLLOUT) ? Moved(::send(Fd_, At, Left, MSG_NOSIGNAL)) : ssize_t{0};
        });
  }

 private:
  ssize_t Moved(ssize_t Bytes) {
    if (Bytes > 0) Timer_.Moved();
    return Bytes;
  }

  // Waits until the socket is ready for Events; false at the time limit, on
  // a cancel or on an error.
  bool Wait(short Events) {
    for (;;) {
      if (CancelRequested.load()) {
        Cancelled_ = true;
        return false;
      }
      Verdict_ = Timer_.Check();
      if (Verdict_ != TDecodeTimer::TVerdict::Going) return false;
      pollfd entry{Fd_, Events, 0};
      const int ready = ::poll(&entry, 1, CancelCheckMillis);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) return false;
      if (ready > 0) return true;
    }
  }

  int Fd_;
  TDecodeTimer Timer_;
  TDecodeTimer::TVerdict Verdict_ = TDecodeTimer::TVerdict::Going;
  bool Cancelled_ = false;
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

  pid_t Pid() const { return Reaped_ ? -1 : Pid_; }

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

// True when an idle decoder has neither written anything nor gone: a
// decoder waiting for its next request does neither.
bool IsIdleDecoder(int Fd) {
  pollfd entry{Fd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&entry, 1, 0);
  } while (ready < 0 && errno == EINTR);
  return ready == 0;
}

// One request and its answer over the channel to a decoder.
struct TExchange {
  decoding::TAnswer Answer;
  uint32_t HeaderWidth = 0;  // the size the header told
  uint32_t HeaderHeight = 0;
  uint32_t Shrink = 1;  // the factor the decoder was let shrink the picture by
  TMemoryLease Lease;  // the picture's share of the budget
  std::string Refusal;  // why the picture was not admitted
  bool TimedOut = false;
  bool OverTime = false;  // the time limit ran out as processor time
  bool Cancelled = false;
};

// How a decode is admitted: the shrink the caller allows and the copies of
// the picture it will hold at once while it works on it.
struct TAdmissionPlan {
  TShrinkFn Shrink;
  uint32_t HeldCopies = 1;
  uint64_t UnknownSizeBytes = 0;  // the decoder's share when its header tells no size
};

// Admits a decode against the budget: before the decoder goes on, what it
// will cost the decoder (its own work, at the factor allowed) and the
// caller (its copies of the picture handed over); when the picture
// arrives, the caller's share of it. A decode that cannot fit the budget at
// all is refused.
class TAdmitter {
 public:
  TAdmitter(const TAdmissionPlan& Plan, TChannel& Channel, TExchange& Out)
      : Plan_(Plan), Channel_(Channel), Out_(Out) {}

  bool operator()(const decoding::TAdmission& Admission) {
    return Admission.Final ? AdmitArrival(Admission) : AdmitDecode(Admission);
  }

 private:
  bool AdmitDecode(const decoding::TAdmission& Header) {
    Out_.HeaderWidth = Header.Width;
    Out_.HeaderHeight = Header.Height;
    uint64_t decoder = Plan_.UnknownSizeBytes, handed = 0;
    if (Header.Width > 0 && Header.Height > 0) {
      // The decoder shrinks only pictures of whole bytes of colour.
      if (Plan_.Shrink && decoding::ShrinksDepth(Header.BitsPerPixel))
        Out_.Shrink = std::clamp<uint32_t>(Plan_.Shrink(Header.Width, Header.Height), 1,
                                           decoding::MaxShrinkFactor);
      handed = decoding::DecodedBytes(decoding::ShrunkSide(Header.Width, Out_.Shrink),
                                      decoding::ShrunkSide(Header.Height, Out_.Shrink),
                                      Header.BitsPerPixel);
      decoder = Header.Cost.DecoderBytes(handed, Out_.Shrink);
    }
    if (!Admit(decoder + handed * Plan_.HeldCopies)) return false;
    // A decoder that has already ended cannot take the go-ahead; what it
    // wrote before is still read, and its end gives the reason.
    decoding::WriteGoAhead(Channel_, Out_.Shrink, decoder);
    return true;
  }

  bool AdmitArrival(const decoding::TAdmission& Picture) {
    const uint64_t held = Picture.Bytes * Plan_.HeldCopies;
    if (held <= Out_.Lease.Bytes()) return true;
    Out_.Lease.Release();
    return Admit(held);
  }

  // Waits until Bytes fit the budget; false, with the reason, when they
  // never can. The time limit starts afresh once they do.
  bool Admit(uint64_t Bytes) {
    TMemoryBudget& budget = PictureBudget();
    if (Bytes > budget.Capacity()) {
      Out_.Refusal = "the picture needs more memory than allowed";
      return false;
    }
    Out_.Lease = budget.Acquire(Bytes);
    Channel_.Restart();
    return true;
  }

  const TAdmissionPlan& Plan_;
  TChannel& Channel_;
  TExchange& Out_;
};

TExchange Exchange(int Fd, pid_t Pid, const decoding::TRequest& Request,
                   const std::vector<uint8_t>* Bytes, const TAdmissionPlan& Plan, double Seconds) {
  TExchange out;
  TChannel channel(Fd, Pid, Seconds);
  if (decoding::WriteRequest(channel, Request, Bytes)) {
    TAdmitter admit(Plan, channel, out);
    out.Answer = Request.MetadataOnly
                     ? decoding::ReadMetadataAnswer(channel)
                     : decoding::ReadAnswer(channel, Request.MaxPixels, std::ref(admit));
    if (!out.Refusal.empty()) out.Answer.Failure = out.Refusal;
    if (out.Answer.Picture == nullptr) {
      out.Lease.Release();
    } else {
      // The decoder's work is done: the caller's copies stay admitted.
      out.Lease.ShrinkTo(decoding::DecodedBytes(FreeImage_GetWidth(out.Answer.Picture),
                                                FreeImage_GetHeight(out.Answer.Picture),
                                                FreeImage_GetBPP(out.Answer.Picture)) *
                         Plan.HeldCopies);
    }
  } else {
    out.Answer.Failure = "the decoder did not take the file";
  }
  out.TimedOut = channel.TimedOut();
  out.OverTime = channel.OverTime();
  out.Cancelled = channel.Cancelled();
  return out;
}

// Whether an exchange ended whole: a picture, or the metadata asked for.
bool IsWhole(const decoding::TRequest& Request, const TExchange& Exchange) {
  return Exchange.Answer.Picture != nullptr ||
         (Request.MetadataOnly && Exchange.Answer.Taken && Exchange.Answer.Failure.empty());
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

void SetDecodeClock(TDecodeClock Clock) {
  std::lock_guard<std::mutex> lock(SettingsMutex);
  ClockOverride = std::move(Clock);
}

TDecodeClock DecodeClockSetByTest() {
  std::lock_guard<std::mutex> lock(SettingsMutex);
  return ClockOverride;
}

TDecodeClock DecodeClock() {
  std::lock_guard<std::mutex> lock(SettingsMutex);
  if (ClockOverride) return ClockOverride;
  return [] { return std::chrono::steady_clock::now(); };
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

struct TDecoderSession::TState {
  std::unique_ptr<TDecoderProcess> Process;
  int Fd = -1;
  unsigned Served = 0;       // whole answers of this decoder
  std::string Program;       // what it was started from
  uint64_t MemoryBytes = 0;  // and with what address space

  // Ends the decoder: its input closed, then killed and reaped. Returns why
  // it had ended on its own, when it had (see EndReason).
  std::string Finish(bool AskWhy) {
    if (Fd >= 0) ::close(Fd);
    Fd = -1;
    std::string reason;
    if (Process) {
      if (AskWhy) reason = Process->EndReason();
      Process->Stop();
      Process.reset();
    }
    Served = 0;
    return reason;
  }

  // A decoder ready for a request: the one kept, when it still waits for one
  // and was started as the limits now say, else a fresh one.
  bool Ready(const TDecodeLimits& Limits, std::string& Failure) {
    const std::string program = DecoderProgram();
    if (Process && (program != Program || Limits.DecoderMemoryBytes != MemoryBytes ||
                    Served >= std::max(1u, Limits.FilesPerDecoder) || !IsIdleDecoder(Fd))) {
      Finish(false);
    }
    if (Process) return true;
    Process = std::make_unique<TDecoderProcess>();
    Fd = Process->Start(program, Limits.DecoderMemoryBytes);
    if (Fd < 0) {
      Process.reset();
      Failure = "the decoder " + program + " could not be started";
      return false;
    }
    Program = program;
    MemoryBytes = Limits.DecoderMemoryBytes;
    return true;
  }

  // Sends the request to a decoder and reads its answer. A kept decoder that
  // turns out to have gone before it took the request is replaced once, so
  // that its end costs no file.
  TExchange Serve(const TDecodeLimits& Limits, const decoding::TRequest& Request,
                  const std::vector<uint8_t>* Bytes, const TAdmissionPlan& Plan, double Seconds,
                  std::string& Failure) {
    for (bool retry = true;; retry = false) {
      if (!Ready(Limits, Failure)) return {};
      const bool kept = Served > 0;
      TExchange exchange = Exchange(Fd, Process->Pid(), Request, Bytes, Plan, Seconds);
      if (retry && kept && !exchange.Answer.Taken && !exchange.TimedOut && !exchange.Cancelled) {
        Finish(false);
        continue;
      }
      return exchange;
    }
  }

  // The reason for a failed exchange (the decoder is ended on the way).
  std::string FailureOf(const TExchange& Exchange, double Seconds) {
    if (Exchange.Cancelled) {
      Finish(false);
      return "the decode was cancelled";
    }
    if (Exchange.TimedOut) {
      Finish(false);
      return "the decoder was stopped after " + std::to_string(static_cast<long>(Seconds)) +
             (Exchange.OverTime ? " s of processor time" : " s");
    }
    const std::string ended = Finish(true);
    return ended.empty() ? Exchange.Answer.Failure : ended;
  }
};

TDecoderSession::TDecoderSession() : State_(std::make_unique<TState>()) {}

TDecoderSession::~TDecoderSession() {
  End();
}

void TDecoderSession::End() {
  State_->Finish(false);
}

int TDecoderSession::ProcessId() const {
  return State_->Process ? State_->Process->Pid() : -1;
}

TIsolatedDecode TDecoderSession::Decode(const TDecodeRequest& Request) {
  TIsolatedDecode result;
  if (CancelRequested.load()) {
    result.Cancelled = true;
    result.Failure = "the decode was cancelled";
    return result;
  }
  const TDecodeLimits limits = DecodeLimits();
  decoding::TRequest request;
  request.Codec = Request.Codec;
  request.Format = Request.Format;
  request.Flags = Request.Flags;
  request.MaxPixels = limits.MaxPixels;
  request.Name = NameOf(Request.Path);
  request.Path = Request.Path;
  const double seconds = TimeLimitFor(limits, FileBytesOf(Request.Path, Request.Bytes));
  const TAdmissionPlan plan{Request.Shrink, std::clamp<uint32_t>(Request.HeldCopies, 1, 8),
                            limits.UnknownSizeBytes};
  TExchange exchange = State_->Serve(limits, request, Request.Bytes, plan, seconds, result.Failure);
  if (!State_->Process) return result;  // none could be started
  if (IsWhole(request, exchange)) {
    result.Picture = exchange.Answer.Picture;
    result.FullWidth = FreeImage_GetWidth(result.Picture);
    result.FullHeight = FreeImage_GetHeight(result.Picture);
    if (exchange.Shrink > 1 &&
        result.FullWidth == decoding::ShrunkSide(exchange.HeaderWidth, exchange.Shrink) &&
        result.FullHeight == decoding::ShrunkSide(exchange.HeaderHeight, exchange.Shrink)) {
      result.FullWidth = exchange.HeaderWidth;
      result.FullHeight = exchange.HeaderHeight;
      result.Shrink = exchange.Shrink;
    }
    result.Metadata = std::move(exchange.Answer.Metadata);
    result.Damage = std::move(exchange.Answer.Damage);
    result.Lease = std::move(exchange.Lease);
    ++State_->Served;
    return result;
  }
  result.Cancelled = exchange.Cancelled;
  result.Failure = State_->FailureOf(exchange, seconds);
  return result;
}

bool TDecoderSession::ReadHeifMetadata(const std::string& Path, TPictureMetadata& Metadata,
                                       std::string& Failure) {
  const TDecodeLimits limits = DecodeLimits();
  decoding::TRequest request;
  request.Codec = decoding::TCodec::Heif;
  request.MetadataOnly = true;
  request.MaxPixels = limits.MaxPixels;
  request.Name = NameOf(Path);
  request.Path = Path;
  const double seconds = TimeLimitFor(limits, FileBytesOf(Path, nullptr));
  TExchange exchange = State_->Serve(limits, request, nullptr, TAdmissionPlan(), seconds, Failure);
  if (!State_->Process) return false;
  if (IsWhole(request, exchange)) {
    Metadata = std::move(exchange.Answer.Metadata);
    ++State_->Served;
    return true;
  }
  Failure = State_->FailureOf(exchange, seconds);
  return false;
}

TIsolatedDecode DecodeIsolated(FREE_IMAGE_FORMAT Format, int Flags, const std::string& Path,
                               const std::vector<uint8_t>* Bytes) {
  TDecoderSession session;
  TDecodeRequest request;
  request.Format = Format;
  request.Flags = Flags;
  request.Path = Path;
  request.Bytes = Bytes;
  return session.Decode(request);
}

bool ReadHeifMetadata(const std::string& Path, TPictureMetadata& Metadata, std::string& Failure) {
  TDecoderSession session;
  return session.ReadHeifMetadata(Path, Metadata, Failure);
}

}  // namespace pictrim
