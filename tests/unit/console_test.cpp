#include "runtime/console.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fakes/scripted_reads.h"

namespace {

const Text kMarker(1, kEndOfInput);

TEST(ConsoleTest, ControlAndLayoutCharactersAreShownAsQuestionMarks) {
  const struct {
    Text text;
    Text shown;
  } cases[] = {
      {u"app.log", u"app.log"},
      {u"a\r\nDatei x wird gelöscht. OK!\r\n", u"a??Datei x wird gelöscht. OK!??"},
      {u"\x1B[2J\t\x7F\x80\x85\x9F\xA0.log", u"?[2J?????\xA0.log"},
      {u"gelöscht \x9B"
       u"31m \x7F",
       u"gelöscht ?31m ?"},  // no control below U+0020 beside them
      {Text(1, u'\0') + u"\x1F ~\xDCFF\uFFFD", u"?? ~\xDCFF\uFFFD"},
      {u"gol.\u202Egol.exe", u"gol.?gol.exe"},
      {u"app\u200B.log\u2028x\u2029\u2066\uFEFF\u2060\u2027", u"app?.log?x????\u2027"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShownText(c.text), c.shown);
  }
}

TEST(ConsoleTest, PosixTerminalShowsUndecodableBytesAsQuestionMarks) {
  const struct {
    Text text, terminal, redirected;
  } cases[] = {
      {u"c1\xDC9B.log", u"c1?.log", u"c1\xDC9B.log"},  // written as U+FFFD
      {u"\U0001F600\u2027", u"\U0001F600\u2027", u"\U0001F600\u2027"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PosixShownText(c.text.data(), c.text.size(), true), c.terminal);
    EXPECT_EQ(PosixShownText(c.text.data(), c.text.size(), false), c.redirected);
  }
}

TEST(ConsoleTest, Utf16leOutputIsAlwaysValid) {
  const struct {
    Text units;
    std::string bytes;
  } cases[] = {
      {u"aä", std::string("a\0\xE4\0", 4)},
      {u"\U0001F600", std::string("\x3D\xD8\0\xDE", 4)},  // a pair stays a pair
      {u"b\xDCFF.", std::string("b\0\xFD\xFF.\0", 6)},    // undecodable name byte
      {Text(1, 0xD83D) + u"x", std::string("\xFD\xFFx\0", 4)},
      {Text(1, 0xD83D), "\xFD\xFF"},
  };
  for (const auto& c : cases) {
    std::string bytes = "<";
    AppendRedirectedBytes(c.units.data(), c.units.size(), bytes);
    EXPECT_EQ(bytes, "<" + c.bytes);
  }
}

// Each line is one write when the output is no terminal; a held prompt goes
// out before an answer is read. A terminal sees every text at once.
TEST(ConsoleTest, OutputIsWrittenLineByLine) {
  for (const bool terminal : {false, true}) {
    std::vector<Text> writes;
    OutputLines output(
        [&writes](const char16_t* units, size_t count) { writes.emplace_back(units, count); },
        terminal);
    output.Write(u"Datei a\x1B.log wird gelöscht. ");
    output.Write(u"");
    output.WriteLine(u"OK!");
    output.WriteLine(u"");
    output.Write(u"Frage ");
    output.Release();
    output.Release();
    const std::vector<Text> expected =
        terminal
            ? std::vector<Text>{u"Datei a?.log wird gelöscht. ", u"OK!\r\n", u"\r\n", u"Frage "}
            : std::vector<Text>{u"Datei a?.log wird gelöscht. OK!\r\n", u"\r\n", u"Frage "};
    EXPECT_EQ(writes, expected) << "terminal " << terminal;
  }
}

// Each string is what the terminal delivers, read a byte at a time; an empty
// one stands for Ctrl+D on an empty line. A read past them fails.
TEST(ConsoleTest, TerminalLinesAndTheirEnd) {
  const std::string longLine = std::string("N") + std::string(4095, 'x') + "Y\n";
  const struct {
    const char* name;
    std::vector<std::string> reads;
    std::vector<Text> answers;
    int calls = 0;  // when not 0: the reads made for the answers
  } cases[] = {
      {"lines", {"ja\n", "\n", "\xC3\xA4\r\n", "\xFF\n"}, {u"ja", u"", u"\u00E4", u"\xDCFF"}},
      {"Ctrl+Z line refuses only its prompt", {"\x1A\n", "j\n"}, {kMarker, u"j"}},
      // Ctrl+D refuses every later prompt; nothing more is read.
      {"Ctrl+D", {"", "j\n"}, {kMarker, kMarker, kMarker}, 1},
      {"Ctrl+D after typed text", {"ab", "", "j\n"}, {u"ab", kMarker, kMarker}, 3},
      {"rest of a long line dropped", {longLine, "j\n"}, {Text(u"N") + Text(4095, u'x'), u"j"}},
      {"four-byte character at the limit",
       {std::string(4095, 'x') + "\xF0\x9F\x98\x80\n", "j\n"},
       {Text(4095, u'x'), u"j"}},
      {"read error gives what was typed", {"ab"}, {u"ab", u""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Step> steps;
    for (const std::string& bytes : c.reads)
      steps.push_back({bytes.empty() ? ByteRead::kEnd : ByteRead::kData, bytes});
    ScriptedReader typed(steps, ByteRead::kError);
    const ByteReader read = typed.Reader();
    TerminalInput state;
    for (const Text& answer : c.answers) EXPECT_EQ(ReadTerminalLine(state, read), answer);
    EXPECT_TRUE(c.calls == 0 || typed.calls == c.calls) << typed.calls << " reads";
  }
}

TEST(ConsoleTest, ConsoleLinesLongerThanOneReadAreDropped) {
  const Text x(4095, u'x');
  const struct {
    const char* name;
    Text typed;
    std::vector<Text> answers;
  } cases[] = {
      {"lines", u"ja\r\n\r\n\x1A\r\n", {u"ja", u"", kMarker}},
      {"line that fills the read", Text(4094, u'x') + u"\r\nj\r\n", {Text(4094, u'x'), u"j"}},
      {"CR LF split between reads", x + u"\r\nj\r\n", {x, u"j"}},
      {"tail of a long answer", Text(u"N") + x + u"Y\r\nj\r\n", {Text(u"N") + x, u"j"}},
      {"answer of several reads", Text(u"N") + x + x + x + u"\r\nj\r\n", {Text(u"N") + x, u"j"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // What ReadConsoleW hands out in line mode: the line and CR LF, in pieces
    // of at most the units asked for; the rest of a line waits for the next read.
    Text typed = c.typed;
    const UnitReader read = [&typed](char16_t* buffer, size_t size, size_t* received) {
      *received = std::min(size, typed.find(u'\n') + 1);
      std::copy_n(typed.begin(), *received, buffer);
      typed.erase(0, *received);
      return true;
    };
    for (const Text& answer : c.answers) {
      Text line;
      ASSERT_TRUE(ReadConsoleLine(read, &line));
      EXPECT_EQ(line, answer);
    }
  }
  const UnitReader redirected = [](char16_t*, size_t, size_t*) { return false; };
  Text line = u"unchanged";
  EXPECT_FALSE(ReadConsoleLine(redirected, &line));
  EXPECT_EQ(line, u"unchanged");
}

}  // namespace
