// The option pass, the usage text and the settings block.
#include <gtest/gtest.h>

#include <vector>

#include "driver/licence.h"
#include "driver/run_tool.h"
#include "driver/settings_report.h"
#include "fakes/fake_services.h"

namespace {

struct OptionCase {
  std::vector<Text> parameters{};
  OptionPassEnd end = OptionPassEnd::kDone;
  Text inputSpec{};
  int64_t minDays = 0, minHours = 0, minMinutes = 0, spareCount = 0, batchMode = 0, deleteMode = 0;
  Text nameExpression{};
  std::vector<Text> faults{};  // without "Fehler: "
  std::vector<Text> everyMode{};
};

class OptionPass : public fake::ServicesTest {};
class SettingsReport : public fake::ServicesTest {};
class Licence : public fake::ServicesTest {};

TEST_F(OptionPass, ReadsEveryParameterOnce) {
  const OptionCase cases[] = {
      {.parameters = {}},
      {.parameters = {u"-f", u"a", u"-f", u"b"}, .inputSpec = u"b"},
      {.parameters = {u"-f", u"a", u"-f"}},
      {.parameters = {u"-x", u"-f", u"a"},
       .inputSpec = u"a",
       .faults = {u"Unbekannter Parameter: -x"}},
      {.parameters = {u"-F", u"/f", u"-f", u"a", u"-L"},
       .inputSpec = u"a",
       .faults = {u"Unbekannter Parameter: -F", u"Unbekannter Parameter: /f",
                  u"Unbekannter Parameter: -L"}},
      {.parameters = {u"-f", u"a", u"-d", u"7", u"-h", u"-30", u"-m", u"$1F", u"-a", u"2", u"-b",
                      u"-D"},
       .inputSpec = u"a",
       .minDays = 7,
       .minHours = -30,
       .minMinutes = 31,
       .spareCount = 2,
       .batchMode = 1,
       .deleteMode = 1},
      {.parameters = {u"-f", u"a", u"-d"}, .inputSpec = u"a", .faults = {u"Keine Zahl bei -d: "}},
      {.parameters = {u"-d", u"x", u"-r", u"\\.log$", u"-f", u"a"},
       .inputSpec = u"a",
       .nameExpression = u"\\.log$",
       .faults = {u"Keine Zahl bei -d: x"}},
      {.parameters = {u"-d", u"-l"},
       .faults = {u"Keine Zahl bei -d: -l"},
       .everyMode = {u"Keine Zahl bei -d: -l"}},
      {.parameters = {u"-f", u"-l"}, .inputSpec = u"-l"},
      {.parameters = {u"-b", u"-b", u"-f", u"x", u"-l", u"-D"},
       .end = OptionPassEnd::kLicence,
       .inputSpec = u"x",
       .batchMode = 1},
      // A value may be attached to its option; it never takes the next word.
      {.parameters = {u"-fC:\\logs", u"-D", u"-d7", u"-b", u"-h\t12", u"-m30", u"-a5",
                      u"-r\\.log$"},
       .inputSpec = u"C:\\logs",
       .minDays = 7,
       .minHours = 12,
       .minMinutes = 30,
       .spareCount = 5,
       .batchMode = 1,
       .deleteMode = 1,
       .nameExpression = u"\\.log$"},
      {.parameters = {u"-fa", u"-d3", u"-h-5", u"-a10000000000000000000", u"-dx"},
       .inputSpec = u"a",
       .minHours = -5,
       .spareCount = INT64_MAX,
       .faults = {u"Keine Zahl bei -d: x", u"Negativer Wert bei -h: -5"}},
      // Flags take no value: such words are skipped.
      {.parameters = {u"-f", u"a", u"-Dx", u"-bb", u"-lx", u"-D-"},
       .inputSpec = u"a",
       .faults = {u"Unbekannter Parameter: -Dx", u"Unbekannter Parameter: -bb",
                  u"Unbekannter Parameter: -lx", u"Unbekannter Parameter: -D-"}},
      // Values that are not wholly a number, and a value option given last.
      {.parameters = {u"-d", u"1.5", u"-h", u"7d", u"-m", u"=7", u"-a", u"", u"-d", u"%2", u"-h",
                      u"- 7", u"-m", u"$"},
       .faults = {u"Keine Zahl bei -d: 1.5", u"Keine Zahl bei -h: 7d", u"Keine Zahl bei -m: =7",
                  u"Keine Zahl bei -a: ", u"Keine Zahl bei -d: %2", u"Keine Zahl bei -h: - 7",
                  u"Keine Zahl bei -m: $"}},
      {.parameters = {u"-d", u"-a", u"2", u"-r"},
       .faults = {u"Keine Zahl bei -d: -a", u"Unbekannter Parameter: 2",
                  u"Ungültiger regulärer Ausdruck: kein Ausdruck angegeben"},
       .everyMode = {u"Keine Zahl bei -d: -a"}},
      // Every form of a number is read whole.
      {.parameters = {u"-a", u"$2", u"-d", u" 0", u"-h", u"+0", u"-m", u"%0 \t", u"-d", u"-$10"},
       .minDays = -16,
       .spareCount = 2,
       .faults = {u"Negativer Wert bei -d: -$10"}},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.parameters));
    fake::Reset();
    fake::parameters() = c.parameters;
    RunSettings settings;
    OptionFaults faults;
    EXPECT_EQ(ReadOptions(settings, faults), c.end);
    EXPECT_EQ(settings.inputSpec, c.inputSpec);
    EXPECT_EQ(settings.minDays, c.minDays);
    EXPECT_EQ(settings.minHours, c.minHours);
    EXPECT_EQ(settings.minMinutes, c.minMinutes);
    EXPECT_EQ(settings.spareCount, c.spareCount);
    EXPECT_EQ(settings.batchMode, c.batchMode);
    EXPECT_EQ(settings.deleteMode, c.deleteMode);
    EXPECT_EQ(settings.nameExpression, c.nameExpression);
    std::vector<Text> expected;
    for (const Text& fault : c.faults) expected.push_back(u"Fehler: " + fault);
    EXPECT_EQ(faults.lines, expected);
    expected.clear();
    for (const Text& fault : c.everyMode) expected.push_back(u"Fehler: " + fault);
    EXPECT_EQ(faults.inEveryMode, expected);
  }
}

TEST_F(SettingsReport, ResolvesInputAndPrintsTheBlock) {
  struct Case {
    Text input;
    Text directory, pattern;
  };
  const Case cases[] = {
      {u"/logs/*.log", u"/logs/", u"*.log"},
      {u"/logs", u"/logs", u"*.*"},
      {u"/logs/*.*", u"/logs/", u"*.*"},
      {u"*.log", u"", u"*.log"},
      {u"/logs/app1.log", u"/logs/", u"app1.log"},
      {u"/missing/x", u"/missing/", u"x"},
      // A "|" or an inner quote would make the parts name another directory
      // or file: the value is split literally instead.
      {u"/logs|x/*.log", u"/logs|x/", u"*.log"},
      {u"/logs/x\"*.log", u"/logs/", u"x\"*.log"},
      // Quotes around nothing never name the current directory's every file.
      {u"\"\"", u"", u"\"\""},
      {u"\"", u"", u"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.input));
    fake::Reset();
    fake::directory().path = u"/logs";
    fake::directory().entries = {{u"app1.log", kFileType, 10, 0}};
    RunSettings settings;
    settings.inputSpec = c.input;
    ResolveInput(settings);
    EXPECT_EQ(settings.directory, c.directory);
    EXPECT_EQ(settings.pattern, c.pattern);
  }
}

TEST_F(SettingsReport, ModeRegexAndAgeLines) {
  struct Case {
    int64_t deleteMode = 0, batchMode = 0, days = 0, hours = 0, minutes = 0;
    Text expression{};
    std::vector<Text> tail{};  // lines after the two path lines
  };
  const Case cases[] = {
      {.tail = {u"Löschmodus: nur Simulation", u"Batchmodus: nicht aktiv"}},
      {.deleteMode = 1,
       .batchMode = 1,
       .days = 7,
       .tail = {u"Löschmodus: aktiv", u"Batchmodus: aktiv",
                u"Mindestalter der Dateien: 7 Tage, 0 Stunden, 0 Minuten"}},
      {.days = 1,
       .hours = -30,
       .expression = u"x",
       .tail = {u"Löschmodus: nur Simulation", u"Batchmodus: nicht aktiv", u"regulärer Ausdruck: x",
                u"Mindestalter der Dateien: 1 Tage, -30 Stunden, 0 Minuten"}},
      {.days = -1, .tail = {u"Löschmodus: nur Simulation", u"Batchmodus: nicht aktiv"}},
      {.batchMode = 1,
       .minutes = 5,
       .tail = {u"Löschmodus: nur Simulation", u"Batchmodus: aktiv",
                u"Mindestalter der Dateien: 0 Tage, 0 Stunden, 5 Minuten"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.tail));
    fake::Reset();
    RunSettings settings;
    settings.directory = u"/logs/";
    settings.pattern = u"*.log";
    settings.deleteMode = c.deleteMode;
    settings.batchMode = c.batchMode;
    settings.minDays = c.days;
    settings.minHours = c.hours;
    settings.minMinutes = c.minutes;
    settings.nameExpression = c.expression;
    ReportSettings(settings);
    std::vector<Text> expected = {u"Eingangspfad: /logs/", u"Eingangsdatei: *.log"};
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    EXPECT_EQ(fake::OutputLines(), expected);
  }
}

TEST_F(Licence, LinesShapesAndProgramName) {
  RunSettings settings;
  settings.programName = u"cleanup";
  WriteLicence(settings);
  std::vector<Text> lines = fake::OutputLines();
  ASSERT_EQ(lines.size(), 83u);
  EXPECT_EQ(lines[25], u"unterstützten regulären Ausdrücke werden auch in cleanup unterstützt.");
  EXPECT_EQ(lines[21], Text(79, u'-'));
  EXPECT_EQ(lines[30], u"PCRE LICENCE");
  EXPECT_EQ(lines[31], Text(12, u'-'));
  for (int empty :
       {2, 12, 21, 23, 30, 33, 36, 38, 41, 43, 47, 51, 56, 60, 64, 66, 72, 75, 80, 83}) {
    EXPECT_EQ(lines[static_cast<size_t>(empty - 1)], u"") << "line " << empty;
  }
  for (size_t i = 2; i < 11; ++i) EXPECT_LE(lines[i].size(), 79u);
  for (size_t i = 33; i < 83; ++i) EXPECT_LE(lines[i].size(), 77u);
  for (size_t i = 12; i < 20; ++i) EXPECT_EQ(lines[i], ToUpper(lines[i])) << i;
  for (int indented : {57, 58, 59, 65}) {
    EXPECT_EQ(lines[static_cast<size_t>(indented - 1)].find_first_not_of(u' '), 5u);
  }
}

}  // namespace
