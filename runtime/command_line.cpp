// Command-line splitting. Only U+0020 separates; a double quote groups up to
// the next one; nothing is ever escaped.
#include "runtime/command_line.h"

#include <utility>

namespace {

constexpr char16_t kSpace = u' ';
constexpr char16_t kQuote = u'"';

// Reads the token that starts at or after `*pos` into `token` (when not
// null); false when none is left. On return `*pos` stands after the token and
// whatever ended it.
//
// A token is a run of pieces. A quoted piece runs from a quote to the next
// one (or the end of the text); its quotes belong to no token. An unquoted
// piece runs to the next space and keeps any quotes inside it. A quoted piece
// that a non-space follows goes on into the next piece of the same token, so
// "C:\My Logs"\*.log is one token.
bool NextToken(const Text& line, size_t* pos, Text* token) {
  size_t at = line.find_first_not_of(kSpace, *pos);
  if (at == Text::npos) {
    *pos = line.size();
    return false;
  }
  if (token != nullptr) token->clear();
  for (;;) {
    const bool quoted = line[at] == kQuote;
    if (quoted) ++at;
    const size_t stop = line.find(quoted ? kQuote : kSpace, at);
    const size_t end = stop == Text::npos ? line.size() : stop;
    if (token != nullptr) token->append(line, at, end - at);
    at = stop == Text::npos ? line.size() : stop + 1;
    if (!quoted || at == line.size() || line[at] == kSpace) break;
  }
  *pos = at;
  return true;
}

}  // namespace

int64_t CountTokens(const Text& commandLine) {
  int64_t count = 0;
  size_t pos = 0;
  while (NextToken(commandLine, &pos, nullptr)) ++count;
  return count;
}

bool TokenAt(const Text& commandLine, int64_t index, Text* token) {
  if (index < 0) return false;
  size_t pos = 0;
  for (int64_t i = 0; i < index; ++i) {
    if (!NextToken(commandLine, &pos, nullptr)) return false;
  }
  Text found;
  if (!NextToken(commandLine, &pos, &found)) return false;
  *token = std::move(found);
  return true;
}
