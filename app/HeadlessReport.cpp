#include "app/HeadlessReport.h"

#include <algorithm>
#include <cstdlib>
#include <ostream>

#include "platform/Paths.h"

namespace pictrim {
namespace {

constexpr int BarWidth = 20;

bool IsSet(const char* Name) {
  const char* value = std::getenv(Name);
  return value != nullptr && *value != '\0';
}

}  // namespace

TConsoleReport::TConsoleReport(std::ostream& Err, bool Terminal, int Columns)
    : TQueuedBatchTarget([this](const TBatchMessage& Message) { Handle(Message); }),
      Err_(Err),
      Terminal_(Terminal),
      Columns_(std::max(Columns, 20)) {}

void TConsoleReport::Handle(const TBatchMessage& Message) {
  switch (Message.Message) {
    case WM_BATCH_FILE:
      if (Message.WParam != 0) return;
      LastFile = Message.Text;
      Activity_ = ExtractFileName(Message.Text);
      break;
    case WM_BATCH_STATUS:
      Status_ = Message.Text;
      Activity_ = OneLine(Message.Text);
      if (Terminal_ && LineShown_) DrawLine();
      break;
    case WM_BATCH_PROGRESS:
      if (Message.LParam == 0) {
        // A batch has ended.
        ClearLine();
        Done_ = Total_ = 0;
        return;
      }
      Done_ = Message.WParam;
      Total_ = Message.LParam;
      if (Terminal_) {
        DrawLine();
      } else {
        Err_ << '[' << Done_ << '/' << Total_ << "] " << LastFile << '\n';
      }
      break;
    default:
      break;
  }
}

void TConsoleReport::DrawLine() {
  const int64_t filled =
      Total_ > 0 ? std::clamp<int64_t>(Done_ * BarWidth / Total_, 0, BarWidth) : 0;
  std::string line = '[' + std::string(static_cast<size_t>(filled), '#') +
                     std::string(static_cast<size_t>(BarWidth - filled), ' ') + "] " +
                     std::to_string(Done_) + '/' + std::to_string(Total_) + "  " + Activity_;
  if (line.size() >= static_cast<size_t>(Columns_)) line.resize(static_cast<size_t>(Columns_) - 1);
  Err_ << '\r' << line << "\x1b[K" << std::flush;
  LineShown_ = true;
}

void TConsoleReport::ClearLine() {
  if (!LineShown_) return;
  Err_ << "\r\x1b[K" << std::flush;
  LineShown_ = false;
}

void TConsoleReport::Message(const std::string& Text) {
  const bool redraw = LineShown_;
  ClearLine();
  Err_ << OneLine(Text) << '\n';
  if (redraw) DrawLine();
  Err_ << std::flush;
}

void TConsoleReport::Finish(const TErrorLog& ErrorLog) {
  pump();
  ClearLine();
  if (!Status_.empty()) Err_ << OneLine(Status_) << '\n';
  for (const std::string& entry : ErrorLog) Err_ << OneLine(entry) << '\n';
  Err_ << std::flush;
}

int ExitStatus(bool Refused, const TErrorLog& ErrorLog, const TJobAccount& Account) {
  if (Refused) return 2;
  return ErrorLog.empty() && Account.Failed == 0 ? 0 : 1;
}

std::string OneLine(const std::string& Text) {
  std::string line;
  bool inBreak = false;
  for (const char c : Text) {
    if (c == '\r' || c == '\n') {
      inBreak = true;
      continue;
    }
    if (inBreak && !line.empty()) line += ' ';
    inBreak = false;
    line += c;
  }
  return line;
}

bool HasDisplay() {
  if (!IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY")) return false;
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  return platform == nullptr || std::string(platform) != "offscreen";
}

void UseOffscreenWithoutDisplay() {
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) return;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

}  // namespace pictrim
