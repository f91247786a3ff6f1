// Command-line splitting. Only U+0020 separates; a double quote, also one
// inside a word, groups up to the next one; nothing is ever escaped.
#include "runtime/command_line.h"

#include <utility>

namespace {

constexpr char16_t kSpace = u' ';
constexpr char16_t kQuote = u'"';

// Reads the token that starts at or after `*pos` into `token` (when not
// null); false when none is left. On return `*pos` stands after the token.
//
// A token is a run of pieces up to a space outside quotes. A quoted piece
// runs from a quote to the next one (or the end of the text); an unquoted
// piece runs to the next space or quote. Quotes belong to no token, so
// "C:\My Logs"\*.log and -f"C:\My Logs\*.log" each hold one run of text.
bool NextToken(const Text& line, size_t* pos, Text* token) {
  size_t at = line.find_first_not_of(kSpace, *pos);
  if (at == Text::npos) {
    *pos = line.size();
    return false;
  }
  if (token != nullptr) token->clear();
  while (at < line.size() && line[at] != kSpace) {
    const bool quoted = line[at] == kQuote;
    if (quoted) ++at;
    const size_t stop = quoted ? line.find(kQuote, at) : line.find_first_of(u" \"", at);
    const size_t end = stop == Text::npos ? line.size() : stop;
    if (token != nullptr) token->append(line, at, end - at);
    at = quoted && stop != Text::npos ? end + 1 : end;
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
