// Text helpers and value formatters of the EXIF parser, and the captions of
// the constant tag tables.
#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

#include "metadata/Exif.h"
#include "util/Errors.h"
#include "util/MoreDialogs.h"

namespace pictrim {
namespace {

bool IsUpper(char C) {
  return C >= 'A' && C <= 'Z';
}
bool IsContinuationByte(char C) {
  return (static_cast<unsigned char>(C) & 0xC0) == 0x80;
}

// A whole text read as a number ("12", "-3", "2.5"); nothing for anything else.
bool ParseNumber(std::string_view Text, double& Value) {
  const std::string trimmed = TrimText(Text);
  if (trimmed.empty()) return false;
  const char* end = trimmed.data() + trimmed.size();
  const auto [ptr, ec] = std::from_chars(trimmed.data(), end, Value);
  return ec == std::errc() && ptr == end && std::isfinite(Value);
}

int32_t ParseInteger(std::string_view Text) {
  const std::string trimmed = TrimText(Text);
  int32_t value = 0;
  const char* end = trimmed.data() + trimmed.size();
  const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
  if (trimmed.empty() || ec != std::errc() || ptr != end) {
    throw std::invalid_argument("'" + trimmed + "' is not an integer");
  }
  return value;
}

// Value in fixed notation with Precision decimals, "." as separator.
std::string FixedText(double Value, int Precision) {
  char text[400];
  const auto [ptr, ec] =
      std::to_chars(text, text + sizeof(text), Value, std::chars_format::fixed, Precision);
  if (ec != std::errc()) throw ERangeError("number too long to format");
  return std::string(text, ptr);
}

// Text pieces separated by Separator.
std::vector<std::string_view> SplitText(std::string_view Text, std::string_view Separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t at = Text.find(Separator, start);
    parts.push_back(
        Text.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + Separator.size();
  }
}

// The three rationals of a GPS position or time ("d/1, m/1, s/100").
std::array<double, 3> ThreeRationals(std::string_view Text) {
  const std::vector<std::string_view> parts = SplitText(Text, ", ");
  if (parts.size() < 3) throw ERangeError("three rationals expected");
  return {RationalTextToFloat(parts[0]), RationalTextToFloat(parts[1]),
          RationalTextToFloat(parts[2])};
}

void AppendUtf8(std::string& Out, char32_t Code) {
  if (Code < 0x80) {
    Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    Out += static_cast<char>(0xC0 | (Code >> 6));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else if (Code < 0x10000) {
    Out += static_cast<char>(0xE0 | (Code >> 12));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (Code >> 18));
    Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (Code & 0x3F));
  }
}

// One pattern with its single conversion applied to either a text or a number.
std::string FormatPattern(std::string_view Pattern, std::string_view Text, double Value,
                          bool IsText) {
  std::string out;
  bool converted = false;
  for (size_t i = 0; i < Pattern.size(); ++i) {
    if (Pattern[i] != '%') {
      out += Pattern[i];
      continue;
    }
    if (i + 1 < Pattern.size() && Pattern[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    if (converted) throw ERangeError("pattern with more than one conversion");
    size_t j = i + 1;
    const bool leftAligned = j < Pattern.size() && Pattern[j] == '-';
    if (leftAligned) ++j;
    size_t width = 0;
    for (; j < Pattern.size() && Pattern[j] >= '0' && Pattern[j] <= '9'; ++j) {
      width = width * 10 + static_cast<size_t>(Pattern[j] - '0');
      if (width > 64) throw ERangeError("pattern width too large");
    }
    int precision = -1;
    if (j < Pattern.size() && Pattern[j] == '.') {
      precision = 0;
      for (++j; j < Pattern.size() && Pattern[j] >= '0' && Pattern[j] <= '9'; ++j) {
        precision = precision * 10 + (Pattern[j] - '0');
        if (precision > 30) throw ERangeError("pattern precision too large");
      }
    }
    if (j >= Pattern.size()) throw ERangeError("incomplete pattern");
    std::string piece;
    const char conversion = Pattern[j];
    if (conversion == 's' && IsText) {
      piece = Text;
    } else if (conversion == 'd' && !IsText) {
      piece = std::to_string(RoundToInt32(Value));
    } else if (conversion == 'f' && !IsText) {
      piece = FixedText(Value, precision < 0 ? 6 : precision);
    } else {
      throw ERangeError(std::string("pattern conversion %") + conversion +
                        " does not fit the value");
    }
    if (piece.size() < width) {
      const std::string fill(width - piece.size(), ' ');
      piece = leftAligned ? piece + fill : fill + piece;
    }
    out += piece;
    converted = true;
    i = j;
  }
  return out;
}

}  // namespace

int TypeSize(int Format) {
  static constexpr int sizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  if (Format < 0 || Format > 12) throw ERangeError("TIFF field type " + std::to_string(Format));
  return sizes[Format];
}

std::string TrimText(std::string_view Text) {
  size_t first = 0, last = Text.size();
  while (first < last && static_cast<unsigned char>(Text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(Text[last - 1]) <= ' ') --last;
  return std::string(Text.substr(first, last - first));
}

std::string Utf8Left(std::string_view Text, size_t Count) {
  size_t chars = 0;
  size_t charBytes = 0;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (i > 0 && IsContinuationByte(Text[i]) && charBytes < 4) {
      ++charBytes;
      continue;
    }
    if (chars == Count) return std::string(Text.substr(0, i));
    ++chars;
    charBytes = 1;
  }
  return std::string(Text);
}

int32_t RoundToInt32(double Value) {
  const double rounded = std::nearbyint(Value);
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    throw ERangeError("value does not fit 32 bits");
  }
  return static_cast<int32_t>(rounded);
}

std::string SplitCamelCase(std::string_view Name) {
  std::string out;
  bool previousUpper = true;  // the first character counts as a capital
  for (size_t i = 0; i < Name.size(); ++i) {
    const bool upper = IsUpper(Name[i]);
    if (i > 0 && upper && !previousUpper) out += ' ';
    out += Name[i];
    previousUpper = upper || i == 0;
  }
  return out;
}

std::string LookupCode(std::string_view Decode, std::string_view Key) {
  const std::string list = "," + std::string(Decode) + ",";
  const std::string key = "," + TrimText(Key) + ":";
  const size_t at = list.find(key);
  if (at == std::string::npos) return "";
  const size_t start = at + key.size();
  return list.substr(start, list.find(',', start) - start);
}

std::string MakePrintable(std::string_view Text) {
  std::string out = Utf8Left(Text, 50);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32) c = '.';
  }
  return out;
}

double RationalTextToFloat(std::string_view Text) {
  const std::string trimmed = TrimText(Text);
  std::string_view fraction = trimmed;
  double whole = 0;
  const size_t blank = fraction.find(' ');
  if (blank != std::string_view::npos) {
    if (!ParseNumber(fraction.substr(0, blank), whole)) return 0;
    fraction = fraction.substr(blank + 1);
  }
  const size_t slash = fraction.find('/');
  double numerator = 0, denominator = 0;
  if (slash == std::string_view::npos || !ParseNumber(fraction.substr(0, slash), numerator) ||
      !ParseNumber(fraction.substr(slash + 1), denominator) || denominator == 0) {
    return 0;
  }
  return (whole * denominator + numerator) / denominator;
}

std::string ApplyPattern(std::string_view Pattern, std::string_view Text) {
  return FormatPattern(Pattern, Text, 0, true);
}

std::string ApplyPattern(std::string_view Pattern, double Value) {
  return FormatPattern(Pattern, {}, Value, false);
}

std::string ComponentsFormatter(const std::string& Text) {
  static constexpr const char* names[] = {"", "Y", "Cb", "Cr", "R", "G", "B"};
  std::string out;
  // Characters 2..5: the four bytes behind the opening quote.
  for (size_t i = 1; i < 5 && i < Text.size(); ++i) {
    const unsigned code = static_cast<unsigned char>(Text[i]);
    if (code >= 1 && code <= 6) out += names[code];
  }
  return out;
}

std::string ShutterSpeedFormatter(const std::string& Text) {
  const double exposure = std::pow(2.0, -RationalTextToFloat(Text));
  std::string out = ApplyPattern("%4.4f sec", exposure);
  if (exposure <= 0.5) out += ApplyPattern(" (1/%d)", 1.0 / exposure);
  return out;
}

std::string FlashFormatter(const std::string& Text) {
  const int32_t code = ParseInteger(Text);
  std::string out = (code & 1) ? "On" : "Off";
  switch (code & 6) {
    case 2:
      out += ", UNKNOWN";
      break;
    case 4:
      out += ", no strobe return";
      break;
    case 6:
      out += ", strobe return";
      break;
    default:
      break;
  }
  switch (code & 24) {
    case 8:
      out += ", forced";
      break;
    case 16:
      out += ", surpressed";
      break;
    case 24:
      out += ", auto mode";
      break;
    default:
      break;
  }
  if (code & 32) out += ", no flash function";
  if (code & 64) out += ", red-eye reduction";
  return out;
}

std::string UserCommentFormatter(const std::string& Text) {
  return Text.size() > 8 ? Text.substr(8) : std::string();
}

std::string Utf16ToUtf8(const std::vector<char32_t>& Units) {
  std::string out;
  for (size_t i = 0; i < Units.size(); ++i) {
    char32_t code = Units[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < Units.size() && Units[i + 1] >= 0xDC00 &&
        Units[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (Units[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::string XpTextFormatter(const std::string& Text) {
  // The byte values of a UCS-2 text, low byte first.
  std::vector<unsigned> bytes;
  for (std::string_view piece : SplitText(Text, ",")) {
    bytes.push_back(static_cast<unsigned>(ParseInteger(piece)) % 256);
  }
  std::vector<char32_t> units;
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const char32_t unit = bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
    if (unit != 0) units.push_back(unit);
  }
  return Utf16ToUtf8(units);
}

std::string GpsPositionFormatter(const std::string& Text) {
  try {
    auto [degrees, minutes, seconds] = ThreeRationals(Text);
    if (seconds == 0) {
      double whole = 0;
      seconds = std::modf(minutes, &whole) * 60;
      minutes = whole;
    }
    return FixedText(degrees, 0) + " Degrees " + FixedText(minutes, 0) + " Minutes " +
           FixedText(seconds, 0) + " Seconds";
  } catch (const std::exception&) {
    ShowMessage("Exception in GpsPosn");
    return Text;
  }
}

std::string GpsTimeFormatter(const std::string& Text) {
  const auto [hours, minutes, seconds] = ThreeRationals(Text);
  return FixedText(hours, 0) + ":" + FixedText(minutes, 0) + ":" + FixedText(seconds, 0);
}

const std::string& TableCaption(TDirectoryKind Kind, size_t Row) {
  struct TCaptions {
    std::array<std::string, MainTagRows> Main;
    std::array<std::string, GpsTagRows> Gps;
  };
  // Filled once per run: the rows' own captions, else their names split.
  static const TCaptions captions = [] {
    TCaptions c;
    const auto fill = [](const auto& Table, auto& Captions) {
      for (size_t i = 0; i < Table.size(); ++i) {
        Captions[i] = Table[i].Caption.empty() ? SplitCamelCase(Table[i].TagName)
                                               : std::string(Table[i].Caption);
      }
    };
    fill(ExifMainTags, c.Main);
    fill(ExifGpsTags, c.Gps);
    return c;
  }();
  return Kind == TDirectoryKind::Gps ? captions.Gps.at(Row) : captions.Main.at(Row);
}

}  // namespace pictrim
