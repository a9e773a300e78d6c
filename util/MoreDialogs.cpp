#include "util/MoreDialogs.h"

#include <filesystem>
#include <iostream>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/Paths.h"
#include "util/Texts.h"

namespace fs = std::filesystem;

namespace pictrim {
namespace {

std::mutex HandlerMutex;

TMessageHandler& MessageHandler() {
  static TMessageHandler handler = [](const std::string& Text) { std::cerr << Text << '\n'; };
  return handler;
}

TFolderHandler& FolderHandler() {
  static TFolderHandler handler = [](const std::string&, const std::string&) {
    return std::optional<std::string>();
  };
  return handler;
}

TCheckedMessageHandler& CheckedMessageHandler() {
  static TCheckedMessageHandler handler = [](const std::string& Text, const std::string&) {
    ShowMessage(Text);
    return false;
  };
  return handler;
}

TQuestionHandler& QuestionHandler() {
  static TQuestionHandler handler = [](const std::string& Text) {
    std::cerr << Text << '\n';
    return false;
  };
  return handler;
}

// Puts Handler in Slot and returns the one that was there.
template <typename THandler>
THandler Install(THandler& Slot, THandler Handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex);
  std::swap(Slot, Handler);
  return Handler;
}

// A copy of the handler in Slot. No lock is held while a handler runs: a
// window's handler may wait for the GUI thread, which may itself be showing
// a message. Each handler keeps its messages one at a time in its own way.
template <typename THandler>
THandler Installed(const THandler& Slot) {
  std::lock_guard<std::mutex> lock(HandlerMutex);
  return Slot;
}

std::optional<std::string> AskForFolder(const std::string& StartFolder) {
  const TFolderHandler handler = Installed(FolderHandler());
  if (!handler) return std::nullopt;
  return handler(Text(TTextId::SelectFolderTitle), StartFolder);
}

}  // namespace

TMessageHandler SetMessageHandler(TMessageHandler Handler) {
  return Install(MessageHandler(), std::move(Handler));
}

TFolderHandler SetFolderHandler(TFolderHandler Handler) {
  return Install(FolderHandler(), std::move(Handler));
}

void ShowMessage(const std::string& Text) {
  const TMessageHandler handler = Installed(MessageHandler());
  if (handler) handler(Text);
}

TCheckedMessageHandler SetCheckedMessageHandler(TCheckedMessageHandler Handler) {
  return Install(CheckedMessageHandler(), std::move(Handler));
}

bool ShowCheckedMessage(const std::string& Text, const std::string& CheckCaption) {
  const TCheckedMessageHandler handler = Installed(CheckedMessageHandler());
  return handler ? handler(Text, CheckCaption) : false;
}

TQuestionHandler SetQuestionHandler(TQuestionHandler Handler) {
  return Install(QuestionHandler(), std::move(Handler));
}

bool AskQuestion(const std::string& Text) {
  const TQuestionHandler handler = Installed(QuestionHandler());
  return handler ? handler(Text) : false;
}

void SelectFolder(std::string& Result) {
  const std::optional<std::string> chosen = AskForFolder(std::string());
  if (chosen && !chosen->empty()) Result = IncludeTrailingDelimiter(*chosen);
}

void SelectFolderFrom(const std::string& StartFolder, std::string& Result) {
  const std::optional<std::string> chosen = AskForFolder(StartFolder);
  if (chosen) Result = *chosen;
  if (!Result.empty()) Result = IncludeTrailingDelimiter(Result);
}

bool FolderExists(const std::string& Folder) {
  std::error_code ec;
  return !Folder.empty() && fs::is_directory(fs::path(Folder), ec);
}

bool MakeFolderPath(const std::string& Folder, std::string* Reason) {
  if (Folder.empty()) return false;
  std::error_code ec;
  fs::create_directories(fs::path(Folder), ec);
  if (FolderExists(Folder)) return true;
  if (Reason != nullptr) *Reason = ec ? ec.message() : std::string();
  return false;
}

}  // namespace pictrim
