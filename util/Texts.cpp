#include "util/Texts.h"

#include <cstdlib>
#include <mutex>
#include <string_view>

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

// A pattern as its fixed words and its placeholders, in order.
struct TPiece {
  std::string Literal;
  int Argument = -1;  // 0 for %1, ...; -1 for fixed words
};

bool IsPlaceholder(const std::string& Pattern, std::size_t At) {
  return Pattern[At] == '%' && At + 1 < Pattern.size() && Pattern[At + 1] >= '1' &&
         Pattern[At + 1] <= '9';
}

std::vector<TPiece> Pieces(const std::string& Pattern) {
  std::vector<TPiece> pieces;
  for (std::size_t i = 0; i < Pattern.size(); ++i) {
    if (IsPlaceholder(Pattern, i)) {
      pieces.push_back({std::string(), Pattern[i + 1] - '1'});
      ++i;
    } else {
      if (pieces.empty() || pieces.back().Argument >= 0) pieces.push_back({});
      pieces.back().Literal += Pattern[i];
    }
  }
  return pieces;
}

// The length of a pattern's fixed words; 0 for a pattern that cannot be told
// apart from others (no fixed words, or two placeholders side by side).
std::size_t FixedLength(const std::string& Pattern) {
  const std::vector<TPiece> pieces = Pieces(Pattern);
  std::size_t length = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (pieces[i].Argument >= 0 && i + 1 < pieces.size() && pieces[i + 1].Argument >= 0) return 0;
    length += pieces[i].Literal.size();
  }
  return length;
}

// The rows a line of the log or a status text is made from.
bool IsLineRow(const TTextRow& Row) {
  const std::string_view section = Row.Section;
  return section == LogLineTexts || section == MessageTexts;
}

std::string RetranslatedFrom(const std::string& Text, const std::vector<std::string>& From,
                             bool Line) {
  std::optional<TTextId> best;
  std::vector<std::string> bestArgs;
  std::size_t bestLength = 0;
  for (const TTextRow& row : TextTable) {
    const auto index = static_cast<std::size_t>(row.Id);
    if (index >= From.size() || (Line ? !IsLineRow(row) : row.Section != LogLineTexts)) continue;
    const std::size_t length = FixedLength(From[index]);
    if (length <= bestLength) continue;
    if (std::optional<std::vector<std::string>> args = TextArguments(From[index], Text)) {
      best = row.Id;
      bestArgs = std::move(*args);
      bestLength = length;
    }
  }
  if (!best) return Text;
  // A reason inside a line is a text of its own.
  if (Line)
    for (std::string& arg : bestArgs) arg = RetranslatedFrom(arg, From, false);
  return pictrim::Text(*best, bestArgs);
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

std::vector<std::string> BuiltInTexts(TLanguage Language) {
  return Column(Language);
}

void UseTexts(const TTextLookup& Lookup) {
  std::vector<std::string> texts = Column(TLanguage::German);
  for (const TTextRow& row : TextTable) {
    if (std::optional<std::string> text = Lookup(row.Section, row.Key))
      texts[static_cast<std::size_t>(row.Id)] = std::move(*text);
  }
  Replace(std::move(texts));
}

std::vector<std::string> TextsNow() {
  std::lock_guard<std::mutex> lock(TextsMutex);
  return TextsInUse();
}

std::optional<std::vector<std::string>> TextArguments(const std::string& Pattern,
                                                      const std::string& Text) {
  const std::vector<TPiece> pieces = Pieces(Pattern);
  std::vector<std::string> args;
  std::size_t at = 0;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const TPiece& piece = pieces[i];
    if (piece.Argument < 0) {
      if (Text.compare(at, piece.Literal.size(), piece.Literal) != 0) return std::nullopt;
      at += piece.Literal.size();
      continue;
    }
    // An argument runs to the next fixed words (the last ones end the text).
    std::size_t end = Text.size();
    if (i + 1 < pieces.size()) {
      const std::string& next = pieces[i + 1].Literal;
      const bool last = i + 2 == pieces.size();
      if (last) {
        if (next.size() > Text.size() - at || !Text.ends_with(next)) return std::nullopt;
        end = Text.size() - next.size();
      } else {
        end = Text.find(next, at);
        if (end == std::string::npos) return std::nullopt;
      }
    }
    const auto index = static_cast<std::size_t>(piece.Argument);
    if (args.size() <= index) args.resize(index + 1);
    args[index] = Text.substr(at, end - at);
    at = end;
  }
  if (at != Text.size()) return std::nullopt;
  return args;
}

std::string Retranslated(const std::string& Text, const std::vector<std::string>& From) {
  return RetranslatedFrom(Text, From, true);
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
