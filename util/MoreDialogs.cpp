#include "util/MoreDialogs.h"

#include <filesystem>
#include <iostream>
#include <mutex>
#include <system_error>

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

std::optional<std::string> AskForFolder(const std::string& StartFolder) {
  TFolderHandler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex);
    handler = FolderHandler();
  }
  if (!handler) return std::nullopt;
  return handler(Text(TTextId::SelectFolderTitle), StartFolder);
}

}  // namespace

TMessageHandler SetMessageHandler(TMessageHandler Handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex);
  std::swap(MessageHandler(), Handler);
  return Handler;
}

TFolderHandler SetFolderHandler(TFolderHandler Handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex);
  std::swap(FolderHandler(), Handler);
  return Handler;
}

void ShowMessage(const std::string& Text) {
  TMessageHandler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex);
    handler = MessageHandler();
  }
  // No lock is held around the handler: a window's handler may wait for the
  // GUI thread, which may itself be showing a message. Each handler keeps its
  // messages one at a time in its own way.
  if (handler) handler(Text);
}

TCheckedMessageHandler SetCheckedMessageHandler(TCheckedMessageHandler Handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex);
  std::swap(CheckedMessageHandler(), Handler);
  return Handler;
}

bool ShowCheckedMessage(const std::string& Text, const std::string& CheckCaption) {
  TCheckedMessageHandler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex);
    handler = CheckedMessageHandler();
  }
  return handler ? handler(Text, CheckCaption) : false;
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
