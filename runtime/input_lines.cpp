// Line splitting of redirected input: UTF-16LE units, low byte first, taken
// as they come (no byte-order mark handling, no 8-bit conversion).
#include "runtime/input_lines.h"

#include <algorithm>
#include <utility>

#include "runtime/console.h"

namespace {

constexpr size_t kBlockUnits = 4096;   // room asked for per read
constexpr size_t kMinRoomUnits = 512;  // below this the room grows again
constexpr char16_t kCarriageReturn = 0x000D;
constexpr char16_t kLineFeed = 0x000A;

bool IsLineEnd(char16_t unit) {
  return unit == kCarriageReturn || unit == kLineFeed;
}

// Cuts the line at `end`; units after its line end are kept for the next call.
Text EndLine(RedirectedInput& state, Text& gathered, size_t end) {
  size_t next = end + 1;
  if (gathered[end] == kCarriageReturn && next < gathered.size() && gathered[next] == kLineFeed) {
    ++next;
  }
  if (next < gathered.size()) {
    state.carryOver = gathered.substr(next);
    state.hasCarryOver = true;
  }
  gathered.resize(end);
  return std::move(gathered);
}

// Pairs the bytes into units; an odd byte at the end waits for the next read.
void AppendUnits(RedirectedInput& state, const std::string& bytes, size_t count, Text& gathered) {
  size_t i = 0;
  for (; i + 1 < count; i += 2) {
    const auto low = static_cast<unsigned char>(bytes[i]);
    const auto high = static_cast<unsigned char>(bytes[i + 1]);
    gathered.push_back(static_cast<char16_t>(low | (high << 8)));
  }
  state.pendingByte = i < count ? static_cast<unsigned char>(bytes[i]) : -1;
}

}  // namespace

Text ReadRedirectedLine(RedirectedInput& state, const ByteReader& read) {
  Text gathered;
  if (state.hasCarryOver) {
    gathered = std::move(state.carryOver);
    state.carryOver.clear();
    state.hasCarryOver = false;
  }
  size_t scanned = 0;
  size_t capacity = gathered.size() + kBlockUnits;
  std::string bytes;
  for (;;) {
    for (; scanned < gathered.size(); ++scanned) {
      if (IsLineEnd(gathered[scanned])) return EndLine(state, gathered, scanned);
    }
    if (capacity - gathered.size() < kMinRoomUnits) capacity = gathered.size() + kBlockUnits;
    const size_t room = (capacity - gathered.size()) * 2;
    const size_t pending = state.pendingByte >= 0 ? 1 : 0;
    bytes.resize(room);
    if (pending != 0) bytes[0] = static_cast<char>(state.pendingByte);
    const ByteRead result = read(bytes.data() + pending, room - pending);
    if (result.status == ByteRead::kError) return gathered;
    if (result.status == ByteRead::kEnd || result.count == 0) {
      state.pendingByte = -1;  // a lone byte at the end has no partner
      return gathered.empty() ? Text(1, kEndOfInput) : gathered;
    }
    AppendUnits(state, bytes, pending + std::min(result.count, room - pending), gathered);
  }
}
