// Where the reads of redirected input end must not change the answers: the
// same bytes handed out in chunks of sizes drawn from the input give the same
// lines as one read of everything, and no line is longer than the limit.
//
// Input: a flags byte (bit 0: detect UTF-8 or UTF-16LE, else UTF-16LE; the
// other bits, when not 0, a small line limit), a count byte, that many chunk
// sizes, then the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "runtime/console.h"
#include "runtime/input_lines.h"

namespace {

std::vector<Text> ReadAll(std::string_view stream, InputEncoding encoding, size_t limit,
                          const std::vector<size_t>& chunks) {
  size_t offset = 0;
  size_t next = 0;
  const ByteReader read = [&](char* buffer, size_t size) -> ByteRead {
    if (offset == stream.size()) return {ByteRead::kEnd, 0};
    size_t count = std::min(size, stream.size() - offset);
    if (!chunks.empty()) count = std::min(count, chunks[next++ % chunks.size()]);
    std::memcpy(buffer, stream.data() + offset, count);
    offset += count;
    return {ByteRead::kData, count};
  };
  RedirectedInput state;
  state.encoding = encoding;
  state.lineLimit = limit;
  state.dropLimit = 2 * limit;
  std::vector<Text> lines;
  for (;;) {
    Text line = ReadRedirectedLine(state, read);
    // A line may hold the marker's unit too; only the last one is the end.
    const bool drained = state.ended && state.start == state.units.size();
    if (line == Text(1, kEndOfInput) && drained) break;
    if (line.size() > limit || lines.size() > stream.size()) abort();
    lines.push_back(std::move(line));
  }
  if (ReadRedirectedLine(state, read) != Text(1, kEndOfInput)) abort();
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const InputEncoding encoding =
      (data[0] & 1) != 0 ? InputEncoding::kDetect : InputEncoding::kUtf16le;
  const size_t limit = (data[0] >> 1) != 0 ? data[0] >> 1 : kMaxRedirectedLineUnits;
  const size_t count = 1 + data[1] % 16;
  if (size < 2 + count) return 0;
  std::vector<size_t> chunks;
  // The first read decides the encoding, so it brings at least two bytes,
  // as one read of everything does.
  for (size_t i = 0; i < count; ++i) chunks.push_back((i == 0 ? 2 : 1) + data[2 + i]);
  const std::string_view stream(reinterpret_cast<const char*>(data + 2 + count), size - 2 - count);
  if (ReadAll(stream, encoding, limit, {}) != ReadAll(stream, encoding, limit, chunks)) abort();
  return 0;
}
