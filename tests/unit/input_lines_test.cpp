#include "runtime/input_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/scripted_reads.h"

namespace {

const Text kMarker(1, kEndOfInput);

std::string Utf16le(const Text& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

Step Units(const Text& text) {
  return Data(Utf16le(text));
}

struct LinesCase {
  const char* name;
  std::vector<Step> steps;
  std::vector<Text> lines;  // then the marker, on every further call
  InputEncoding encoding = InputEncoding::kUtf16le;
  int reads = 0;  // when not 0: the reads made up to the last line
};

constexpr InputEncoding kUtf16le = InputEncoding::kUtf16le;
constexpr InputEncoding kDetect = InputEncoding::kDetect;

TEST(InputLinesTest, SplitsRedirectedInputIntoLines) {
  const Text longLine(10000, u'x');
  const Text fullLine(kMaxRedirectedLineUnits, u'x');
  const std::string fullBytes(kMaxRedirectedLineUnits, 'y');
  const Text fullUnits(kMaxRedirectedLineUnits, u'y');
  const LinesCase cases[] = {
      {"mixed line ends", {Units(u"one\r\ntwo\nthree\rfour")}, {u"one", u"two", u"three", u"four"}},
      {"empty stream", {}, {}},
      {"empty lines", {Units(u"\r\n\n\r")}, {u"", u"", u""}},
      {"LF then CR is two line ends", {Units(u"a\n\rb")}, {u"a", u"", u"b"}},
      {"CR and LF in different reads", {Units(u"one\r"), Units(u"\ntwo")}, {u"one", u"two"}},
      {"CR LF pair across a full block",
       {Units(Text(4095, u'x') + u"\r\nnext")},
       {Text(4095, u'x'), u"next"}},
      {"CR then another line end in the next read", {Units(u"a\r"), Units(u"\r\n")}, {u"a", u""}},
      {"byte-order mark kept", {Units(u"\uFEFFja\r\n")}, {u"\uFEFFja"}},
      {"carry-over joined with the next read", {Units(u"a\nb"), Units(u"c\n")}, {u"a", u"bc"}},
      {"odd byte paired with the next read",
       {Data(std::string("a\0\xE4", 3)), Data(std::string("\0\n\0", 3))},
       {u"a\u00E4"}},
      {"unit split into single bytes", {Data("j"), Data(std::string(1, '\0'))}, {u"j"}},
      {"lone final byte dropped", {Units(u"ab"), Data("c")}, {u"ab"}},
      {"lone byte alone is no line", {Data("c")}, {}},
      {"read error gives what was gathered",
       {Units(u"par"), kFailure, Units(u"t\n")},
       {u"par", u"t"}},
      {"read error first gives the empty text", {kFailure}, {u""}},
      {"line longer than one block", {Units(longLine + u"\r\nnext")}, {longLine, u"next"}},
      {"line at the limit keeps its end", {Units(fullLine + u"\r\nn")}, {fullLine, u"n"}},
      // A longer line is one answer; the rest of it is dropped, and input
      // that brings no line end within the drop limit counts as ended.
      {"line beyond the limit is one answer", {Units(fullLine + u"xyz\nn\n")}, {fullLine, u"n"}},
      {"rest of a long line at the end of input", {Units(fullLine + fullLine)}, {fullLine}},
      {"no line end within the drop limit",
       {Units(fullLine + Text(kMaxDroppedUnits, u'x') + u"z\nn\n")},
       {fullLine}},
      // Input that does not look like UTF-16LE is UTF-8 lines.
      {"UTF-8 lines end in LF or CR LF", {Data("j\nn\r\nlast")}, {u"j", u"n", u"last"}, kDetect},
      {"UTF-8 CR alone is text", {Data("a\rb\n")}, {u"a\rb"}, kDetect},
      {"UTF-8 CR alone across reads", {Data("a\r"), Data("b\n")}, {u"a\rb"}, kDetect},
      {"UTF-8 CR LF across reads", {Data("j\r"), Data("\nn\n")}, {u"j", u"n"}, kDetect},
      {"UTF-8 sequence across reads", {Data("\xC3"), Data("\xA4\n")}, {u"\u00E4"}, kDetect},
      {"UTF-8 undecodable byte kept",
       {Data("\xFFj\n\xE2\x82")},
       {u"\xDCFFj", u"\xDCE2\xDC82"},
       kDetect},
      {"UTF-8 single byte", {Data("j")}, {u"j"}, kDetect},
      {"UTF-8 line beyond the limit", {Data(fullBytes + "z\nn\n")}, {fullUnits, u"n"}, kDetect},
      {"UTF-8 line at the limit keeps its CR LF",
       {Data(fullBytes + "\r\nn")},
       {fullUnits, u"n"},
       kDetect},
      {"byte-order mark means UTF-16LE",
       {Data(Utf16le(u"\uFEFFj\r\nn"))},
       {u"\uFEFFj", u"n"},
       kDetect},
      {"second byte 0 means UTF-16LE", {Units(u"j\r\nn")}, {u"j", u"n"}, kDetect},
      {"0xFF waits", {Data("\xFF"), Data(Utf16le(u"\uFEFFj").substr(1))}, {u"\uFEFFj"}, kDetect},
      {"UTF-8 mark skipped", {Data("\xEF\xBB\xBFj\n\xEF\xBB\xBF")}, {u"j", u"\uFEFF"}, kDetect},
      {"UTF-8 mark across reads", {Data("\xEF"), Data("\xBB\xBFj")}, {u"j"}, kDetect},
      // Lines left from a read need no further read, nor does a line ending
      // in CR: a writer that sends one answer and waits for the next question
      // gets it answered.
      {"carry-over holds lines", {Units(u"1\n2\n3\n")}, {u"1", u"2", u"3"}, kUtf16le, 1},
      {"CR ends a line at once", {Units(u"j\r")}, {u"j"}, kUtf16le, 1},
      {"CR ends a line at once, detected", {Units(u"j\r")}, {u"j"}, kDetect, 1},
  };
  for (const LinesCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedReader reader(c.steps);
    const ByteReader read = reader.Reader();
    RedirectedInput state;
    state.encoding = c.encoding;
    for (const Text& line : c.lines) EXPECT_EQ(ReadRedirectedLine(state, read), line);
    EXPECT_TRUE(c.reads == 0 || reader.calls == c.reads) << reader.calls << " reads";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadRedirectedLine(state, read), kMarker);
    // Blocks of at most 4096 units are asked for.
    EXPECT_LE(reader.largestRequest, 8192u) << c.name;
  }
}

}  // namespace
