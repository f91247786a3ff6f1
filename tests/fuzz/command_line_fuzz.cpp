// The command-line splitter against a character-by-character reference, and
// a round trip: values written with simple quoting split back into exactly
// those values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/command_line.h"

namespace {

// One input byte is one code unit; NUL, which a command line cannot hold,
// stands for an ideographic space (a blank that separates nothing).
Text TextOf(const uint8_t* data, size_t size) {
  Text text;
  for (size_t i = 0; i < size; ++i) text.push_back(data[i] == 0 ? u'\u3000' : char16_t{data[i]});
  return text;
}

// The splitting rules one character at a time: a space outside quotes ends a
// token, a quote toggles quoting and belongs to no token, anything else joins
// the current token (a new one after a space).
std::vector<Text> ReferenceSplit(const Text& line) {
  std::vector<Text> tokens;
  bool inToken = false;
  bool quoted = false;
  for (char16_t c : line) {
    if (c == u' ' && !quoted) {
      inToken = false;
      continue;
    }
    if (!inToken) tokens.emplace_back();
    inToken = true;
    if (c == u'"')
      quoted = !quoted;
    else
      tokens.back().push_back(c);
  }
  return tokens;
}

std::vector<Text> Split(const Text& line) {
  std::vector<Text> tokens;
  Text token;
  while (TokenAt(line, static_cast<int64_t>(tokens.size()), &token)) tokens.push_back(token);
  if (CountTokens(line) != static_cast<int64_t>(tokens.size())) abort();
  return tokens;
}

// Values (no quotes in them) written one after another: fully quoted, bare
// when they hold no space, or as a quoted head and a bare tail.
void CheckRoundTrip(const Text& input) {
  std::vector<Text> values;
  Text line = u"cleanup";
  Text value;
  for (size_t i = 0; i <= input.size(); ++i) {
    if (i < input.size() && input[i] != u'\x01') {
      if (input[i] != u'"') value.push_back(input[i]);
      continue;
    }
    const size_t form = (values.size() + value.size()) % 3;
    const size_t half = value.size() / 2;
    line += u' ';
    if (form == 1 && !value.empty() && value.find(u' ') == Text::npos) {
      line += value;
    } else if (form == 2 && value.find(u' ', half) == Text::npos) {
      line += u'"' + value.substr(0, half) + u'"' + value.substr(half);
    } else {
      line += u'"' + value + u'"';
    }
    values.push_back(value);
    value.clear();
  }
  std::vector<Text> tokens = Split(line);
  if (tokens.empty() || tokens.front() != u"cleanup") abort();
  tokens.erase(tokens.begin());
  if (tokens != values) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every lookup splits from the start, so long lines cost their square.
  if (size > 1024) return 0;
  const Text line = TextOf(data, size);
  if (Split(line) != ReferenceSplit(line)) abort();
  Text past = u"kept";
  if (TokenAt(line, CountTokens(line), &past) || past != u"kept") abort();
  CheckRoundTrip(line);
  return 0;
}
