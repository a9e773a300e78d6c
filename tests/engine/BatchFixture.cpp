#include "tests/engine/BatchFixture.h"

#include <filesystem>

#include "util/MoreDialogs.h"

namespace pictrim::test {

void BatchTest::SetUp() {
  Source = Dir / "src/";
  std::filesystem::create_directories(Source);
  CancelRequested = false;
  SetMessageHandler([this](const std::string& Text) { Messages.push_back(Text); });
}

void BatchTest::TearDown() {
  SetMessageHandler(nullptr);
  CancelRequested = false;
  if (!SourceSnapshot_.empty()) {
    EXPECT_EQ(TreeSnapshot(Source), SourceSnapshot_) << "the source tree was changed";
  }
}

std::vector<std::string> BatchTest::Notes() const {
  std::vector<std::string> out;
  const auto relative = [this](std::string Text) {
    size_t at;
    while ((at = Text.find(Dir.Path())) != std::string::npos) Text.erase(at, Dir.Path().size());
    return Text;
  };
  for (const TBatchMessage& m : Received) {
    switch (m.Message) {
      case WM_BATCH_STATUS: out.push_back("STATUS " + relative(m.Text)); break;
      case WM_BATCH_FILE: out.push_back("FILE " + relative(m.Text)); break;
      case WM_BATCH_PROGRESS:
        out.push_back("PROGRESS " + std::to_string(m.WParam) + " " + std::to_string(m.LParam));
        break;
      default: out.push_back("OTHER " + std::to_string(m.Message)); break;
    }
  }
  return out;
}

std::vector<std::string> BatchTest::Log() const {
  std::vector<std::string> out;
  for (const std::string& line : ErrorLog) {
    std::string text = line;
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
    size_t at;
    while ((at = text.find(Dir.Path())) != std::string::npos) text.erase(at, Dir.Path().size());
    out.push_back(text);
  }
  return out;
}

}  // namespace pictrim::test
