// Command-line splitting. Only U+0020 separates; a double quote groups up to
// the next one; nothing is ever escaped.
#include "runtime/command_line.h"

namespace {

constexpr char16_t kSpace = u' ';
constexpr char16_t kQuote = u'"';

// Finds the token that starts at or after `*pos`; false when none is left.
// On return `*pos` stands after the token and whatever ended it.
bool NextToken(const Text& line, size_t* pos, size_t* begin, size_t* end) {
  size_t at = line.find_first_not_of(kSpace, *pos);
  if (at == Text::npos) {
    *pos = line.size();
    return false;
  }
  // A quoted token ends at the next quote, which belongs to no token; an
  // unquoted one ends at the next space and keeps any quotes inside it.
  const bool quoted = line[at] == kQuote;
  if (quoted) ++at;
  const size_t stop = line.find(quoted ? kQuote : kSpace, at);
  *begin = at;
  *end = stop == Text::npos ? line.size() : stop;
  *pos = stop == Text::npos ? line.size() : stop + 1;
  return true;
}

}  // namespace

int64_t CountTokens(const Text& commandLine) {
  int64_t count = 0;
  size_t pos = 0, begin = 0, end = 0;
  while (NextToken(commandLine, &pos, &begin, &end)) ++count;
  return count;
}

bool TokenAt(const Text& commandLine, int64_t index, Text* token) {
  if (index < 0) return false;
  size_t pos = 0, begin = 0, end = 0;
  for (int64_t i = 0; NextToken(commandLine, &pos, &begin, &end); ++i) {
    if (i == index) {
      *token = commandLine.substr(begin, end - begin);
      return true;
    }
  }
  return false;
}
