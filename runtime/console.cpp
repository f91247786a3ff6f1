// Console logic shared by both builds: how texts become writes, which
// characters are shown as "?", and how a typed answer is cut from what the
// terminal or console delivers. The platform units add the system calls.
#include "runtime/console.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "runtime/unicode.h"

namespace {

constexpr char16_t kCtrlZ = 0x001A;
constexpr char16_t kCarriageReturn = 0x000D;
constexpr char16_t kLineFeed = 0x000A;
constexpr char16_t kReplacement = 0xFFFD;

bool IsControl(char16_t unit) {
  return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
}

// Unicode format and separator characters that reorder a line (bidirectional
// controls), hide in it (zero-width characters) or split it (U+2028, U+2029).
bool IsLayoutCharacter(char16_t unit) {
  return (unit >= 0x200B && unit <= 0x200F) || (unit >= 0x202A && unit <= 0x202E) ||
         (unit >= 0x2066 && unit <= 0x2069) || unit == 0x2060 || unit == 0xFEFF || unit == 0x2028 ||
         unit == 0x2029;
}

bool IsHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

bool IsSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDFFF;
}

// Writes the unit's two bytes, low byte first; answers where the next go.
char* StoreUnit(char* out, char16_t unit) {
  out[0] = static_cast<char>(unit & 0xFF);
  out[1] = static_cast<char>(unit >> 8);
  return out + 2;
}

// Units that a UTF-8 byte adds to the decoded line: continuation bytes add
// none, a four-byte lead adds a surrogate pair.
size_t UnitsStartedBy(char byte) {
  const auto value = static_cast<unsigned char>(byte);
  if ((value & 0xC0) == 0x80) return 0;
  return value >= 0xF0 ? 2 : 1;
}

// Appends what ShownText makes of the text, without a copy of its own.
void AppendShown(Text& held, const Text& text) {
  const size_t start = held.size();
  held += text;
  // Most lines hold no unit that could be a control or layout character
  // (below U+0020, U+007F to U+009F, from U+2000 on): one pass without
  // branches tells, and such a line is shown as it is.
  char16_t suspect = 0;
  for (const char16_t unit : text) {
    suspect |= static_cast<char16_t>((unit < 0x20) | (static_cast<char16_t>(unit - 0x7F) <= 0x20) |
                                     (unit >= 0x2000));
  }
  if (suspect == 0) return;
  for (size_t i = start; i < held.size(); ++i) {
    const char16_t unit = held[i];
    if (unit >= 0x20 && unit < 0x7F) continue;  // printable ASCII, most of every line
    if (IsControl(unit) || IsLayoutCharacter(unit)) held[i] = u'?';
  }
}

OutputLines& Output();

// Held text still goes out when the run ends after a Write.
void ReleaseAtExit() {
  Output().Release();
}

// The one shaper of the process's output, set up at the first text.
OutputLines& Output() {
  static OutputLines output(WriteText, OutputIsTerminal());
  [[maybe_unused]] static const int registered = std::atexit(ReleaseAtExit);
  return output;
}

// Reads the rest of a console line that did not fit into one read, up to
// its LF, and drops it.
void DropRestOfLine(const UnitReader& read) {
  Text rest(kTypedLineUnits, u'\0');
  size_t got = 0;
  while (read(rest.data(), rest.size(), &got) && got > 0 &&
         rest[std::min(got, rest.size()) - 1] != kLineFeed) {
  }
}

void (*closeRoutine)() = nullptr;

bool outputFailed = false;

}  // namespace

void NoteOutputFailure() {
  outputFailed = true;
}

bool OutputFailed() {
  return outputFailed;
}

void SetCloseRoutine(void (*release)()) {
  closeRoutine = release;
}

void RunCloseRoutine() {
  if (closeRoutine != nullptr) closeRoutine();
}

Text ShownText(const Text& text) {
  Text shown;
  AppendShown(shown, text);
  return shown;
}

Text PosixShownText(const char16_t* units, size_t count, bool terminal) {
  Text shown(units, count);
  for (size_t i = 0; i < shown.size(); ++i) {
    char16_t& unit = shown[i];
    if (IsHighSurrogate(unit) && i + 1 < shown.size() && IsLowSurrogate(shown[i + 1])) {
      ++i;  // a pair: one character beyond U+FFFF
    } else if (terminal && (IsHighSurrogate(unit) || IsLowSurrogate(unit))) {
      unit = u'?';
    }
  }
  return shown;
}

void AppendRedirectedBytes(const char16_t* units, size_t count, std::string& bytes) {
  // Every unit becomes two bytes (a kept pair four), so the room is known.
  const size_t start = bytes.size();
  bytes.resize(start + count * 2);
  char* out = bytes.data() + start;
  // Without a surrogate, the units in memory are already UTF-16LE.
  if constexpr (std::endian::native == std::endian::little) {
    char16_t surrogates = 0;
    for (size_t i = 0; i < count; ++i) surrogates |= static_cast<char16_t>(IsSurrogate(units[i]));
    if (surrogates == 0) {
      std::memcpy(out, units, count * 2);
      return;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    char16_t unit = units[i];
    if (IsSurrogate(unit)) {
      if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
        out = StoreUnit(out, unit);
        unit = units[++i];
      } else {
        unit = kReplacement;
      }
    }
    out = StoreUnit(out, unit);
  }
}

Text ConsoleAnswer(Text line) {
  if (line.size() == 1 && line[0] == kCtrlZ) line[0] = kEndOfInput;
  return line;
}

OutputLines::OutputLines(Sink sink, bool immediate)
    : sink_(std::move(sink)), immediate_(immediate) {}

// A text that cannot be had for want of memory is dropped, with what it
// would have continued.
void OutputLines::Write(const Text& text) {
  if (text.empty()) return;
  try {
    AppendShown(held_, text);
  } catch (const std::bad_alloc&) {
    held_.clear();
    return;
  }
  if (immediate_) Release();
}

void OutputLines::WriteLine(const Text& text) {
  try {
    AppendShown(held_, text);
    held_ += u"\r\n";
  } catch (const std::bad_alloc&) {
    held_.clear();
    return;
  }
  Release();
}

void OutputLines::Release() {
  if (held_.empty()) return;
  sink_(held_.data(), held_.size());
  held_.clear();
}

void WriteLine(const Text& text) {
  Output().WriteLine(text);
}

void Write(const Text& text) {
  Output().Write(text);
}

Text ReadLine() {
  Output().Release();
  return ReadAnswer();
}

Text ReadTerminalLine(TerminalInput& state, const ByteReader& read) {
  if (state.ended) return Text(1, kEndOfInput);
  std::string bytes;
  size_t units = 0;
  bool full = false;     // the rest of the line is dropped
  bool lineEnd = false;  // the line ended with LF
  for (;;) {
    char byte = 0;
    const ByteRead result = read(&byte, 1);
    if (result.status == ByteRead::kError) break;
    if (result.status == ByteRead::kEnd || result.count == 0) {
      state.ended = true;
      if (bytes.empty()) return Text(1, kEndOfInput);
      break;
    }
    if (byte == '\n') {
      lineEnd = true;
      break;
    }
    const size_t added = UnitsStartedBy(byte);
    full = full || units + added > kTypedLineUnits;
    if (full) continue;
    units += added;
    bytes.push_back(byte);
  }
  if (lineEnd && !full && !bytes.empty() && bytes.back() == '\r') bytes.pop_back();
  return ConsoleAnswer(TextFromBytes(bytes));
}

bool ReadConsoleLine(const UnitReader& read, Text* line) {
  Text piece(kTypedLineUnits, u'\0');
  size_t received = 0;
  if (!read(piece.data(), piece.size(), &received)) return false;
  piece.resize(std::min(received, piece.size()));
  if (piece.size() == kTypedLineUnits && piece.back() != kLineFeed) {
    // The console holds the rest of the line: it must not answer the next file.
    DropRestOfLine(read);
    if (piece.back() == kCarriageReturn) piece.pop_back();
  } else if (piece.size() >= 2 && piece[piece.size() - 2] == kCarriageReturn) {
    piece.resize(piece.size() - 2);  // the CR LF that Enter appends
  }
  *line = ConsoleAnswer(std::move(piece));
  return true;
}
