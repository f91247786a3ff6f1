// Line splitting of redirected input. UTF-16LE units are taken as they come
// (a byte-order mark stays the first unit of the first line); UTF-8 is
// decoded losslessly, as names are. Where one read ends never changes the
// lines: a CR LF pair or a UTF-8 sequence split between two reads counts as
// if it had come in one.
#include "runtime/input_lines.h"

#include <algorithm>
#include <string_view>

#include "runtime/unicode.h"

namespace {

constexpr size_t kBlockBytes = 8192;  // asked for per read: 4096 units
constexpr char16_t kCarriageReturn = 0x000D;
constexpr char16_t kLineFeed = 0x000A;

// Length of the leading part of `bytes` that ends between two UTF-8
// sequences: a lead byte among the last three whose sequence is still
// incomplete is held back with what follows it. A byte that is no
// continuation byte always starts a new step of the decoder, so decoding up
// to it gives what decoding the whole input gives.
size_t CompleteUtf8Length(const std::string& bytes) {
  const size_t size = bytes.size();
  for (size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto byte = static_cast<unsigned char>(bytes[size - back]);
    if ((byte & 0xC0) == 0x80) continue;
    const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? size - back : size;
  }
  return size;
}

// Decides the encoding from what the first read brought. A single byte
// decides it too, unless it is 0xFF (which may begin a byte-order mark): a
// responder that answered with a bare LF waits for the next question.
void DetectEncoding(RedirectedInput& state) {
  const std::string& bytes = state.bytes;
  if (bytes.size() == 1 && bytes[0] == '\xFF' && !state.ended) return;
  const bool mark = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  const bool utf16 = mark || (bytes.size() >= 2 && bytes[1] == '\0');
  state.encoding = utf16 ? InputEncoding::kUtf16le : InputEncoding::kUtf8;
}

// Drops a UTF-8 byte-order mark at the start of the input; false while the
// bytes so far are only the start of one.
bool SkipUtf8Mark(RedirectedInput& state) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (state.markChecked) return true;
  const std::string_view start = std::string_view(state.bytes).substr(0, kMark.size());
  if (start.size() < kMark.size() && kMark.starts_with(start) && !state.ended) return false;
  if (start == kMark) state.bytes.erase(0, kMark.size());
  state.markChecked = true;
  return true;
}

// Moves what the bytes read so far hold into the units. At the end of the
// input a lone UTF-16 byte is dropped and an incomplete UTF-8 sequence is
// decoded as it stands.
void DecodeBytes(RedirectedInput& state) {
  if (state.encoding == InputEncoding::kDetect) DetectEncoding(state);
  std::string& bytes = state.bytes;
  if (state.encoding == InputEncoding::kUtf16le) {
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
      const auto low = static_cast<unsigned char>(bytes[i]);
      const auto high = static_cast<unsigned char>(bytes[i + 1]);
      state.units.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    bytes.erase(0, state.ended ? bytes.size() : i);
  } else if (state.encoding == InputEncoding::kUtf8 && SkipUtf8Mark(state)) {
    const size_t length = state.ended ? bytes.size() : CompleteUtf8Length(bytes);
    state.units += TextFromBytes(std::string_view(bytes).substr(0, length));
    bytes.erase(0, length);
  }
}

// The end of the first unused line: its length and the first unit after it.
struct LineCut {
  size_t length;
  size_t next;
};

// Looks for the end of the first unused line, going on from `scanned`; false
// when only more input can tell. A line that reaches `maxUnits` ends there
// unless its line end follows at once; `full` tells so.
bool FindLineCut(RedirectedInput& state, size_t maxUnits, size_t& scanned, LineCut* cut,
                 bool* full) {
  const Text& units = state.units;
  const bool utf16 = state.encoding == InputEncoding::kUtf16le;
  const size_t limit = state.start + maxUnits;
  for (; scanned < units.size() && scanned <= limit; ++scanned) {
    const size_t length = scanned - state.start;
    if (units[scanned] == kLineFeed) {
      *cut = {length, scanned + 1};
      return true;
    }
    if (units[scanned] != kCarriageReturn) continue;
    if (scanned + 1 == units.size() && !state.ended) {
      if (!utf16) return false;  // CR LF or text: the next unit tells
      // A CR ends a UTF-16 line at once; a reader waiting for this answer
      // may send nothing more. An LF that comes next belongs to it.
      state.skipLineFeed = true;
      *cut = {length, scanned + 1};
      return true;
    }
    const bool pair = scanned + 1 < units.size() && units[scanned + 1] == kLineFeed;
    if (pair || utf16) {
      *cut = {length, scanned + (pair ? 2 : 1)};
      return true;
    }
  }
  if (scanned <= limit) return false;
  *cut = {maxUnits, limit};
  *full = true;
  return true;
}

// Drops the LF that completes a CR which ended the previous line.
void SkipLineFeed(RedirectedInput& state) {
  if (!state.skipLineFeed || state.start == state.units.size()) return;
  if (state.units[state.start] == kLineFeed) ++state.start;
  state.skipLineFeed = false;
}

// Hands out `length` units from the first unused one on.
Text TakeUnits(RedirectedInput& state, size_t length, size_t next) {
  Text line = state.units.substr(state.start, length);
  state.start = next;
  return line;
}

// Reads one more block after dropping the units already handed out; false on
// a read error.
bool ReadBlock(RedirectedInput& state, const ByteReader& read) {
  state.units.erase(0, state.start);
  state.start = 0;
  char block[kBlockBytes];
  const ByteRead result = read(block, kBlockBytes);
  if (result.status == ByteRead::kError) return false;
  if (result.status == ByteRead::kEnd || result.count == 0) {
    state.ended = true;
  } else {
    state.bytes.append(block, std::min(result.count, kBlockBytes));
  }
  DecodeBytes(state);
  return true;
}

// One line of at most `maxUnits` units, as ReadRedirectedLine tells; `full`
// tells that it reached the limit before its end.
Text ReadLimitedLine(RedirectedInput& state, const ByteReader& read, size_t maxUnits, bool* full) {
  size_t scanned = state.start;
  for (;;) {
    SkipLineFeed(state);
    scanned = std::max(scanned, state.start);
    LineCut cut{};
    if (FindLineCut(state, maxUnits, scanned, &cut, full))
      return TakeUnits(state, cut.length, cut.next);
    const size_t left = state.units.size() - state.start;
    if (state.ended) {
      if (left == 0) return Text(1, kEndOfInput);
      return TakeUnits(state, left, state.units.size());
    }
    scanned -= state.start;
    if (!ReadBlock(state, read)) {
      const size_t length = std::min(left, maxUnits);
      return TakeUnits(state, length, length);
    }
  }
}

}  // namespace

// A line cut at the limit is one answer: the rest of it is dropped before
// the next line is read, and when no line end comes within the drop limit
// the input counts as ended.
Text ReadRedirectedLine(RedirectedInput& state, const ByteReader& read) {
  if (state.dropRest) {
    bool endless = false;
    ReadLimitedLine(state, read, state.dropLimit, &endless);
    state.dropRest = false;
    if (endless) {
      state.ended = true;
      state.bytes.clear();
      state.units.clear();
      state.start = 0;
    }
  }
  return ReadLimitedLine(state, read, state.lineLimit, &state.dropRest);
}
