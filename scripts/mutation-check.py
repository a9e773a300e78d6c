#!/usr/bin/env python3
"""Mutation check: makes one plausible mistake at a time in the core, builds
the test program that covers it, runs it and tells whether a test failed
(the mistake was "killed") or every test still passed ("survived"). Each
source file is restored after its mistake, also when the run is
interrupted. Takes minutes per mistake; not part of the test run.

  scripts/mutation-check.py [--build BUILD_FOLDER] [--only 3,7,...] [--list]

Prints a Markdown table: number, file:line, the mistake, and the test that
killed it (the first one that failed) or "survived".
"""
import argparse
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The test programs, and the tests of each that exercise a part of the code.
ENGINE = ("test_engine", "tests/engine/test_engine")
SEARCH = (*ENGINE, "SizeSearch*:FileSizeBatch*:ParallelShrink*")
SHRINK = (*ENGINE, "RoundedMean*:ReducedJpegMaster*:LeadingSegments*:ParallelShrink*:FileSizeBatch*")
IMAGE = ("test_image", "tests/image/test_image", "*")
RESIZE = (*ENGINE, "ResizeBatch*:HeifCopies*")
UTIL = ("test_util", "tests/util/test_util", "*")
UI = ("pictrim_ui_tests", "tests/ui/pictrim_ui_tests", "WindowBatchTarget*:JobThread*:WindowMessages*:MainForm*")
METADATA = ("test_metadata", "tests/metadata/test_metadata", "*")
RENAME = ("test_rename", "tests/rename/test_rename", "*")
PLATFORM = ("test_platform", "tests/platform/test_platform", "*")
PLATFORM_USERS = [PLATFORM, RENAME, UTIL]

# (file, text as it stands, the mistake, what the mistake is, suites)
MUTATIONS = [
    # The nine of the earlier check.
    ("engine/SizeSearch.cpp", "std::llabs(Size - TargetBytes_) < tolerance",
     "std::llabs(Size - TargetBytes_) <= tolerance", "tolerance < written as <=", [SEARCH]),
    ("engine/SizeSearch.cpp", "      A_ = ClampWidth(int64_t{A_} - 1);\n      Lo_ += 2;\n",
     "      A_ = ClampWidth(int64_t{A_} - 1);\n", "repeated width above the target without Lo += 2", [SEARCH]),
    ("engine/ShrinkMaster.cpp",
     "      for (size_t i = 0; i < n; ++i) pairs[i] = static_cast<uint16_t>(2 * pairs[i]);\n", "",
     "last odd row of the half-size picture not counted twice", [SHRINK]),
    ("image/DecodeProtocol.cpp", "transparent > 256", "transparent >= 256",
     "a transparency table of 256 entries refused", [IMAGE]),
    ("image/IsolatedDecode.cpp",
     "      if (!Final) {\n        out.Lease = budget.Acquire(Size);\n        channel.Restart();\n",
     "      if (!Final) {\n        out.Lease = budget.Acquire(Size);\n",
     "deadline not restarted after waiting for memory", [IMAGE]),
    ("util/MemoryBudget.h", "return Used_ == 0 || Used_ + Bytes <= Capacity_; };",
     "return Used_ == 0 || Used_ + Bytes < Capacity_; };",
     "admission at exactly the capacity refused", [UTIL]),
    ("ui/JobThread.cpp", "  if (finished) finished();\n  Running_ = false;\n",
     "  Running_ = false;\n  if (finished) finished();\n", "running cleared before Finished", [UI]),
    ("metadata/Xmp.cpp", "if (offset != covered) return {};", "if (offset > covered) return {};",
     "overlapping extension pieces accepted", [METADATA]),
    ("rename/FileRename.cpp", "Padded(Stamp.tm_sec, 2)", "std::to_string(Stamp.tm_sec)",
     "seconds below 10 not padded", [RENAME]),
    # The width search.
    ("engine/SizeSearch.cpp", "return TargetKB_ > 9 &&", "return TargetKB_ >= 9 &&",
     "EXIF carried for a target of 9 KB", [SEARCH]),
    ("engine/SizeSearch.cpp", "ExifExtra / 1024 + 9 < TargetKB_", "ExifExtra / 1024 + 9 <= TargetKB_",
     "EXIF kept when its kilobytes plus 9 reach the target", [SEARCH]),
    ("engine/SizeSearch.cpp", "if (Trial_ > MaxTrials) Finished_ = true;",
     "if (Trial_ >= MaxTrials) Finished_ = true;", "19 trials instead of 20", [SEARCH]),
    ("engine/SizeSearch.cpp", "A_ = ClampWidth(std::min<int64_t>(first, Width));",
     "A_ = ClampWidth(first);", "first trial may be wider than the picture", [SEARCH]),
    ("engine/SizeSearch.cpp", "      A_ += 1;\n      Hi_ += 2;\n", "      A_ += 1;\n",
     "repeated width below the target without Hi += 2", [SEARCH]),
    ("engine/SizeSearch.cpp", "if (Lo_ >= a) a = (int64_t{Hi_} + Lo_) / 2;",
     "if (Lo_ > a) a = (int64_t{Hi_} + Lo_) / 2;", "too big: middle only when Lo > A", [SEARCH]),
    ("engine/SizeSearch.cpp", "if (a >= Hi_) a = RoundHalfEven(",
     "if (a > Hi_) a = RoundHalfEven(", "too small: middle only when A > Hi", [SEARCH]),
    ("engine/SizeSearch.cpp", "if (TargetBytes_ - Size < 2048) {",
     "if (TargetBytes_ - Size <= 2048) {", "a trial 2048 bytes short grows by a 25th", [SEARCH]),
    ("engine/SizeSearch.cpp", "if (ActualWidth == 1 || ActualHeight == 1) {",
     "if (ActualWidth == 1 && ActualHeight == 1) {", "a 1-pixel edge ends the search only when both are", [SEARCH]),
    ("engine/SizeSearch.cpp",
     "const int64_t ratio = RoundHalfEven(static_cast<double>(Size) * 100.0 / TargetBytes_);",
     "const int64_t ratio = static_cast<int64_t>(static_cast<double>(Size) * 100.0 / TargetBytes_);",
     "the ratio truncated instead of rounded", [SEARCH]),
    # The trial pictures.
    ("engine/ShrinkMaster.cpp", "means[i] = static_cast<uint8_t>((pairs[i] + pairs[i + 3] + 2) >> 2);",
     "means[i] = static_cast<uint8_t>((pairs[i] + pairs[i + 3] + 1) >> 2);",
     "half-size mean rounded down at halves", [SHRINK]),
    ("engine/ShrinkMaster.cpp", "means[i] = static_cast<uint8_t>((2 * pairs[i] + 2) >> 2);",
     "means[i] = static_cast<uint8_t>((pairs[i] + 2) >> 2);",
     "last odd column of the half-size picture not counted twice", [SHRINK]),
    ("engine/ShrinkMaster.cpp", "static_cast<int64_t>(std::ceil(centre - reach))",
     "static_cast<int64_t>(std::floor(centre - reach))", "box filter takes one pixel too many on the left", [SHRINK]),
    ("engine/ShrinkMaster.cpp", "Shift_ = 10 + 2 * bits;", "Shift_ = 8 + 2 * bits;",
     "the rounded mean's shift two bits short", [SHRINK]),
    ("engine/ShrinkMaster.h", "static constexpr float Bias = 0.5f + 1.0f / 4096;",
     "static constexpr float Bias = 0.5f;", "single-precision mean without its safety margin", [SHRINK]),
    ("engine/ShrinkMaster.cpp", "Jpeg[at + 1] <= 0xEF", "Jpeg[at + 1] < 0xEF",
     "APP15 not taken as a leading segment", [SHRINK]),
    ("engine/ShrinkMaster.cpp", "if (Width == Source_.Width() && Height == Source_.Height()) {",
     "if (Width == Source_.Width() || Height == Source_.Height()) {",
     "a trial of the full width alone taken for the full-size save", [SHRINK]),
    # The decoder's answer.
    ("image/DecodeProtocol.cpp", "  if (uint64_t{Head.Width} * Head.Height > MaxPixels) {",
     "  if (uint64_t{Head.Width} * Head.Height >= MaxPixels) {",
     "a picture of exactly the pixel limit refused", [IMAGE]),
    ("image/DecodeProtocol.cpp", "  if (colours != expected) return false;",
     "  if (colours > expected) return false;", "a palette picture accepted without its palette",
     [IMAGE]),
    ("image/DecodeProtocol.cpp", "if (!Get32(Source, size) || size > Limit) return false;",
     "if (!Get32(Source, size) || size >= Limit) return false;", "a text of exactly the limit refused", [IMAGE]),
    ("image/DecodeProtocol.cpp", "const uint64_t pitch = (LineBytes(Width, BitsPerPixel) + 3) / 4 * 4;",
     "const uint64_t pitch = LineBytes(Width, BitsPerPixel);",
     "decoded size counted without the row padding", [IMAGE]),
    ("image/DecodeProtocol.cpp", "    case FIT_RGB16:\n      return Bpp == 48;",
     "    case FIT_RGB16:\n      return Bpp == 64;", "48-bit RGB taken for 64-bit", [IMAGE]),
    # The memory budget and the ordered work.
    ("util/MemoryBudget.h", "--Waiting_;\n    }\n    Used_ += Bytes;\n    if (Used_ > Peak_) Peak_ = Used_;",
     "--Waiting_;\n    }\n    Used_ += Bytes;\n    if (Used_ < Peak_) Peak_ = Used_;",
     "peak not kept", [UTIL]),
    ("util/MemoryBudget.h", "    Release();\n    Budget_ = Other.Budget_;", "    Budget_ = Other.Budget_;",
     "a lease assigned over another keeps the old bytes", [UTIL]),
    ("util/MemoryBudget.h", "      Capacity_ = Capacity;\n    }\n    Freed_.notify_all();",
     "      Capacity_ = Capacity;\n    }", "a larger capacity wakes nobody", [UTIL]),
    # The job thread.
    ("ui/JobThread.cpp", "  if (Running_) return false;\n", "", "a second job starts while one runs", [UI]),
    ("ui/JobThread.cpp", "[](const TPending& Pending) { return Pending.Released; });",
     "[](const TPending&) { return true; });", "notifications handled before the job pumped them", [UI]),
    ("ui/JobThread.cpp", "  if (fromWindow) ++Outstanding_;\n", "",
     "the window's own post not counted", [UI]),
    # XMP.
    ("metadata/Xmp.cpp",
     "    if (BigEndian32(segment.Data, FullLengthAt) != BigEndian32(kept.front().Data, FullLengthAt)) {",
     "    if (false) {", "pieces that name different full lengths accepted", [METADATA]),
    ("metadata/Xmp.cpp", "if (growth > static_cast<int64_t>(trailer - padding)",
     "if (growth >= static_cast<int64_t>(trailer - padding)", "a padding used up exactly refused", [METADATA]),
    ("metadata/Xmp.cpp", "(growth != 0 && trailer == text.size())", "(growth > 0 && trailer == text.size())",
     "shorter numbers patched in a packet without its closing instruction", [METADATA]),
    ("metadata/Xmp.cpp", "if (before == '<' && Text[after] == '>') {", "if (before == '<') {",
     "an element name taken without its closing bracket", [METADATA]),
    # Renaming.
    ("rename/FileRename.cpp", "!(stem.size() == 9 && LeftChars(stem, 3) == \"IMG\")",
     "!(stem.size() == 9)", "any 9-character stem a candidate", [RENAME]),
    ("rename/FileRename.cpp", "parts.Day = Stem.substr(2, 2);\n    parts.Counter = RightChars(Stem, 4);\n  }\n  // Names",
     "parts.Day = Stem.substr(2, 2);\n    parts.Counter = RightChars(Stem, 5);\n  }\n  // Names", "Casio counter of five characters", [RENAME]),
    ("rename/FileRename.cpp", "return Padded(Stamp.tm_year + 1900, 4);", "return std::to_string(Stamp.tm_year);",
     "year without its 1900", [RENAME]),
    # A second round.
    ("engine/SizeSearch.cpp",
     "return ClampWidth(RoundHalfEven(static_cast<double>(static_cast<uint64_t>(A_) * H0_) / W0_));",
     "return ClampWidth(static_cast<int64_t>(static_cast<double>(static_cast<uint64_t>(A_) * H0_) / W0_));",
     "trial height truncated", [SEARCH]),
    ("engine/SizeSearch.cpp", "a += std::max<int64_t>(1, RoundHalfEven(a / 25.0));",
     "a += RoundHalfEven(a / 25.0);", "a narrow trial just short does not grow", [SEARCH]),
    ("engine/SizeSearch.cpp", "std::max<int64_t>(Size / 100, 1024)", "std::max<int64_t>(Size / 1000, 1024)",
     "tolerance of 1 per mille", [SEARCH]),
    ("engine/ShrinkMaster.cpp", "return !Picture.isNull() && Width <= static_cast<uint32_t>(Picture.width()) &&",
     "return !Picture.isNull() && Width < static_cast<uint32_t>(Picture.width()) &&",
     "a trial of exactly the half size not made from the half-size picture", [SHRINK]),
    ("engine/ShrinkMaster.cpp", "      if (Y + 1 < Height_) return;\n", "      if (Y + 2 < Height_) return;\n",
     "the second-last row of the half-size picture taken as the last", [SHRINK]),
    ("image/DecodeProtocol.cpp", "Value = static_cast<uint64_t>(high) << 32 | low;",
     "Value = static_cast<uint64_t>(low) << 32 | high;", "64-bit numbers read with their halves swapped", [IMAGE]),
    ("image/DecodeProtocol.cpp", "if (!Get64(Source, size) || size > MaxRequestBytes) return false;",
     "if (!Get64(Source, size)) return false;", "a request's byte count not capped", [IMAGE]),
    ("image/DecodeProtocol.cpp", "GetText(Source, MaxRequestText, Request.Path)",
     "GetText(Source, MaxRequestText + 1, Request.Path)", "a path one byte over the limit accepted", [IMAGE]),
    ("util/MemoryBudget.h", "      Used_ -= Bytes;\n    }\n    Freed_.notify_all();", "      Used_ -= Bytes;\n    }",
     "bytes given back wake nobody", [UTIL]),
    ("ui/JobThread.cpp", "  JobLog.clear();\n", "", "the job's lines left in its own log as well", [UI]),
    ("ui/JobThread.cpp", "  if (!Running_) return;\n  QEventLoop loop;", "  QEventLoop loop;",
     "waiting for a job when none runs", [UI]),
    ("metadata/Xmp.cpp", "return Data.size() < PieceAt ? 0 : BigEndian32(Data, FullLengthAt);",
     "return Data.size() < PieceAt ? 0 : BigEndian32(Data, PieceOffsetAt);",
     "the full length read from the offset field", [METADATA]),
    ("rename/FileRename.cpp", "} else if (LeftChars(Stem, 4) == \"IMG_\") {",
     "} else if (LeftChars(Stem, 3) == \"IMG\") {", "IMG without the underscore taken for Canon", [RENAME]),
    ("rename/FileRename.cpp", "if (LowerCase(extension) != \".jpg\") return false;",
     "if (LowerCase(extension).rfind(\".jpg\", 0) != 0) return false;", "x.jpg.bak taken as a candidate", [RENAME]),
    ("platform/Paths.cpp", "return pos == std::string::npos ? Path : Path.substr(pos + 1);",
     "return pos == std::string::npos ? Path : Path.substr(pos);", "a file name with its delimiter", PLATFORM_USERS),
    ("platform/FileTimes.cpp", "::localtime_r(&Time.Seconds, &result);", "::gmtime_r(&Time.Seconds, &result);",
     "names dated in UTC, not local time", PLATFORM_USERS),
    # The platform.
    ("platform/Paths.cpp", "return !Folder.empty() && Folder.find_first_not_of(PathDelimiter) == std::string::npos;",
     "return Folder == \"/\";", "only a single slash is the root", PLATFORM_USERS),
    ("platform/Paths.cpp", "if (!Folder.empty() && Folder.back() == PathDelimiter) return Folder;",
     "if (Folder.back() == PathDelimiter) return Folder;", "the delimiter test reads an empty text", PLATFORM_USERS),
    ("platform/Paths.cpp", "return pos == std::string::npos ? std::string() : Path.substr(0, pos + 1);",
     "return pos == std::string::npos ? std::string() : Path.substr(0, pos);",
     "a file's folder without its delimiter", PLATFORM_USERS),
    ("platform/Collation.cpp", "ucol_setStrength(c, UCOL_SECONDARY)", "ucol_setStrength(c, UCOL_TERTIARY)",
     "letter case counts in the order", PLATFORM_USERS),
    ("platform/FileTimes.cpp", "{Time.Seconds, Time.Nanoseconds}};", "{Time.Seconds, 0}};",
     "the modification time loses its fraction", PLATFORM_USERS),
    ("platform/FileTimes.cpp", "  const struct timespec times[2] = {{Time.Seconds, Time.Nanoseconds},",
     "  const struct timespec times[2] = {{0, UTIME_NOW},", "the access time set to now", PLATFORM_USERS),
    ("platform/BatchTarget.cpp", "    TBatchMessage message = std::move(Pending_.front());\n    Pending_.pop_front();",
     "    TBatchMessage message = std::move(Pending_.back());\n    Pending_.pop_back();",
     "notifications handled newest first", PLATFORM_USERS),
    # Shrinking in the decoder, the box rescale and libavcodec behind libheif.
    ("image/PictureShrink.h", "(Side + Factor - 1) / Factor", "Side / Factor",
     "a shrunk side rounded down, the ragged blocks lost", [IMAGE, RESIZE]),
    ("image/PictureShrink.cpp", ": Half(Count / 2),", ": Half(0),",
     "averages cut down instead of rounded", [IMAGE]),
    ("image/PictureShrink.cpp", "const TDivision& divide = columns == Factor ? whole : last;",
     "const TDivision& divide = whole;", "the last block of a row divided by a whole block's count",
     [IMAGE]),
    ("image/PictureShrink.cpp", "std::min(Width / TargetWidth, Height / TargetHeight)",
     "std::max(Width / TargetWidth, Height / TargetHeight)",
     "the shrink factor taken from the longer side", [IMAGE, RESIZE]),
    ("image/PictureShrink.cpp", "std::clamp<uint32_t>(factor, 1, MaxShrinkFactor)",
     "std::max<uint32_t>(factor, 1)", "shrink factors beyond eight", [IMAGE]),
    ("image/PictureShrink.cpp", "double(u) / scale + 0.5 / scale", "(u + 0.5) / scale",
     "box centres worked out otherwise than the library does", [IMAGE]),
    ("image/PictureShrink.cpp", "FI_RGBA_RED != 0, out);", "false, out);",
     "libheif's red and blue left in its order", [IMAGE]),
    ("image/DecodeProtocol.cpp", "bytes[1] > MaxShrinkFactor", "bytes[1] >= MaxShrinkFactor",
     "the largest shrink factor refused by the decoder", [RESIZE]),
    ("image/IsolatedDecode.cpp", "      result.FullWidth = exchange.HeaderWidth;\n",
     "", "a shrunk picture's whole width forgotten", [IMAGE, RESIZE]),
    ("image/DecoderMain.cpp", "  if (shrink > 1 && FreeImage_GetWidth(picture) == width",
     "  if (shrink > 1 && shrink < 2 && FreeImage_GetWidth(picture) == width",
     "the image library's pictures never shrunk", [IMAGE]),
    ("image/HeifDecode.cpp", "  heif_context_set_max_decoding_threads(Context.get(), 0);\n", "",
     "a phone's tiles decoded side by side", [IMAGE]),
    ("image/HevcDecoder.cpp", "  if (!Complaint.empty() && decoder->Strict) return",
     "  if (false && decoder->Strict) return", "strict decoding takes a damaged picture", [IMAGE]),
    ("image/HevcDecoder.cpp", "  SetColourDescription(Frame, image.get());\n",
     "  if (Frame.width < 0) SetColourDescription(Frame, image.get());\n",
     "the colours the coded data states not passed on", [IMAGE]),
    ("engine/Resize.cpp", "original{Picture_.LoadedWidth(), Picture_.LoadedHeight()}",
     "original{Picture_.GetWidth(), Picture_.GetHeight()}",
     "the copy's size worked out from the shrunk picture", [RESIZE]),
]


def run(command, timeout=None):
    try:
        done = subprocess.run(command, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, errors="replace", timeout=timeout)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired as expired:
        out = expired.stdout or ""
        return None, out if isinstance(out, str) else out.decode(errors="replace")


def try_mutation(build, number, mutation):
    path, old, new, what, suites = mutation
    full = os.path.join(ROOT, path)
    with open(full, encoding="utf-8") as f:
        original = f.read()
    if original.count(old) != 1:
        return path, what, "not applied (text found %d times)" % original.count(old)
    line = original[: original.index(old)].count("\n") + 1
    where = "%s:%d" % (path, line)
    try:
        with open(full, "w", encoding="utf-8") as f:
            f.write(original.replace(old, new))
        for target, binary, gtest_filter in suites:
            code, out = run(["cmake", "--build", build, "--target", target, "-j2"])
            if code != 0:
                return where, what, "did not build"
            code, out = run([os.path.join(build, binary), "--gtest_filter=" + gtest_filter], timeout=120)
            if code is None:
                return where, what, "killed: %s hung (timeout)" % target
            if code != 0:
                failed = re.findall(r"^\[  FAILED  \] (\S+) \(", out, re.M)
                return where, what, "killed: " + (failed[0] if failed else "%s exit %d" % (target, code))
        return where, what, "SURVIVED"
    finally:
        with open(full, "w", encoding="utf-8") as f:
            f.write(original)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--only", default="")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    chosen = {int(n) for n in args.only.split(",") if n}
    if args.list:
        for number, m in enumerate(MUTATIONS, 1):
            print(number, m[0], m[3])
        return 0
    print("| # | where | mistake | result |")
    print("|---|---|---|---|")
    survived = 0
    targets = set()
    for number, mutation in enumerate(MUTATIONS, 1):
        if chosen and number not in chosen:
            continue
        targets.update(suite[0] for suite in mutation[4])
        result = try_mutation(args.build, number, mutation)
        where, what, verdict = result
        survived += verdict == "SURVIVED"
        print("| %d | %s | %s | %s |" % (number, where, what, verdict), flush=True)
    # Rebuild what was built with a mistake in it.
    run(["cmake", "--build", args.build, "--target", *sorted(targets), "-j2"])
    print("\n%d survived" % survived)
    return 0


if __name__ == "__main__":
    sys.exit(main())
