#include "util/Texts.h"

#include <cstdlib>
#include <mutex>

namespace pictrim {
namespace {

constexpr std::size_t TextCount = TextTable.size();

std::vector<std::string> Column(TLanguage Language) {
  std::vector<std::string> texts;
  texts.reserve(TextCount);
  for (const TTextRow& row : TextTable)
    texts.emplace_back(Language == TLanguage::German ? row.German : row.English);
  return texts;
}

// The texts in use. A job thread reads them while the window may change the
// language, so both go through the lock.
std::mutex TextsMutex;

std::vector<std::string>& TextsInUse() {
  static std::vector<std::string> texts = Column(TLanguage::German);
  return texts;
}

void Replace(std::vector<std::string> Texts) {
  std::lock_guard<std::mutex> lock(TextsMutex);
  TextsInUse().swap(Texts);
}

bool IsSet(const char* Value) {
  return Value != nullptr && *Value != '\0';
}

}  // namespace

std::string Text(TTextId Id) {
  const auto index = static_cast<std::size_t>(Id);
  std::lock_guard<std::mutex> lock(TextsMutex);
  return index < TextCount ? TextsInUse()[index] : std::string();
}

std::string Text(TTextId Id, const std::vector<std::string>& Args) {
  return FormatText(Text(Id), Args);
}

std::string FormatText(const std::string& Pattern, const std::vector<std::string>& Args) {
  std::string text;
  text.reserve(Pattern.size());
  for (std::size_t i = 0; i < Pattern.size(); ++i) {
    const bool placeholder = Pattern[i] == '%' && i + 1 < Pattern.size() && Pattern[i + 1] >= '1' &&
                             Pattern[i + 1] <= '9';
    const auto arg = placeholder ? static_cast<std::size_t>(Pattern[i + 1] - '1') : 0;
    if (placeholder && arg < Args.size()) {
      text += Args[arg];
      ++i;
    } else {
      text += Pattern[i];
    }
  }
  return text;
}

void UseBuiltInTexts(TLanguage Language) {
  Replace(Column(Language));
}

void UseTexts(const TTextLookup& Lookup) {
  std::vector<std::string> texts = Column(TLanguage::German);
  for (const TTextRow& row : TextTable) {
    if (std::optional<std::string> text = Lookup(row.Section, row.Key))
      texts[static_cast<std::size_t>(row.Id)] = std::move(*text);
  }
  Replace(std::move(texts));
}

TLanguage LanguageOfLocale(const char* LcAll, const char* LcMessages, const char* Lang) {
  for (const char* value : {LcAll, LcMessages, Lang}) {
    if (!IsSet(value)) continue;
    return value[0] == 'd' && value[1] == 'e' ? TLanguage::German : TLanguage::English;
  }
  return TLanguage::English;
}

TLanguage LanguageOfEnvironment() {
  return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace pictrim
