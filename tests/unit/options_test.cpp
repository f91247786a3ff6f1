// The option pass, the usage text and the settings block.
#include <gtest/gtest.h>

#include <vector>

#include "driver/licence.h"
#include "driver/run_tool.h"
#include "driver/settings_report.h"
#include "fakes/fake_services.h"

namespace {

struct OptionCase {
  std::vector<Text> parameters;
  OptionPassEnd end;
  Text inputSpec;
  int64_t minDays, minHours, minMinutes, spareCount, batchMode, deleteMode;
  Text nameExpression;
};

TEST(OptionPass, ReadsEveryParameterOnce) {
  const OptionCase cases[] = {
      {{}, OptionPassEnd::kDone, u"", 0, 0, 0, 0, 0, 0, u""},
      {{u"-f", u"a", u"-f", u"b"}, OptionPassEnd::kDone, u"b", 0, 0, 0, 0, 0, 0, u""},
      {{u"-f", u"a", u"-f"}, OptionPassEnd::kDone, u"", 0, 0, 0, 0, 0, 0, u""},
      {{u"-x", u"-f", u"a"}, OptionPassEnd::kDone, u"a", 0, 0, 0, 0, 0, 0, u""},
      {{u"-F", u"/f", u"-f", u"a", u"-L"}, OptionPassEnd::kDone, u"a", 0, 0, 0, 0, 0, 0, u""},
      {{u"-f", u"a", u"-d", u"7", u"-h", u"-30", u"-m", u"$1F", u"-a", u"2", u"-b", u"-D"},
       OptionPassEnd::kDone,
       u"a",
       7,
       -30,
       31,
       2,
       1,
       1,
       u""},
      {{u"-f", u"a", u"-d"}, OptionPassEnd::kDone, u"a", 0, 0, 0, 0, 0, 0, u""},
      {{u"-d", u"x", u"-r", u"\\.log$", u"-f", u"a"},
       OptionPassEnd::kDone,
       u"a",
       0,
       0,
       0,
       0,
       0,
       0,
       u"\\.log$"},
      {{u"-d", u"-l"}, OptionPassEnd::kDone, u"", 0, 0, 0, 0, 0, 0, u""},
      {{u"-f", u"-l"}, OptionPassEnd::kDone, u"-l", 0, 0, 0, 0, 0, 0, u""},
      {{u"-f", u"x", u"-l", u"-D"}, OptionPassEnd::kLicence, u"x", 0, 0, 0, 0, 0, 0, u""},
      {{u"-b", u"-b", u"-l"}, OptionPassEnd::kLicence, u"", 0, 0, 0, 0, 1, 0, u""},
      // A value may be attached to its option; it never takes the next word.
      {{u"-fC:\\logs", u"-D", u"-d7", u"-b", u"-h\t12", u"-m30", u"-a5", u"-r\\.log$"},
       OptionPassEnd::kDone,
       u"C:\\logs",
       7,
       12,
       30,
       5,
       1,
       1,
       u"\\.log$"},
      {{u"-fa", u"-d3", u"-h-5", u"-a10000000000000000000", u"-dx"},
       OptionPassEnd::kDone,
       u"a",
       0,
       -5,
       0,
       INT64_MAX,
       0,
       0,
       u""},
      // Flags take no value: such words are skipped.
      {{u"-f", u"a", u"-Dx", u"-bb", u"-lx", u"-D-"},
       OptionPassEnd::kDone,
       u"a",
       0,
       0,
       0,
       0,
       0,
       0,
       u""},
  };
  for (const OptionCase& c : cases) {
    fake::Reset();
    fake::parameters() = c.parameters;
    RunSettings settings;
    EXPECT_EQ(ReadOptions(settings), c.end);
    EXPECT_EQ(settings.inputSpec, c.inputSpec);
    EXPECT_EQ(settings.minDays, c.minDays);
    EXPECT_EQ(settings.minHours, c.minHours);
    EXPECT_EQ(settings.minMinutes, c.minMinutes);
    EXPECT_EQ(settings.spareCount, c.spareCount);
    EXPECT_EQ(settings.batchMode, c.batchMode);
    EXPECT_EQ(settings.deleteMode, c.deleteMode);
    EXPECT_EQ(settings.nameExpression, c.nameExpression);
  }
}

TEST(OptionPass, UsageTextAndExitCode) {
  fake::Reset();
  RunSettings settings;
  settings.programName = u"cleanup";
  WriteUsage(settings, u"Keine Eingangsdatei definiert.");
  EXPECT_EQ(settings.exitCode, 99);
  std::vector<Text> lines = fake::OutputLines();
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[0], u"Fehler: Keine Eingangsdatei definiert.");
  EXPECT_EQ(lines[2], u"Usage: cleanup [parameter]");
  EXPECT_EQ(lines[4], u"gültige Parameter:");
  EXPECT_EQ(lines[9], u"  -r \"<regExp>\"                     - regulärer Ausdruck für Dateinamen");
  // Every option line puts its dash in the same column.
  for (size_t i = 6; i <= 14; ++i) EXPECT_EQ(lines[i].find(u" - "), 35u) << i;
  EXPECT_EQ(lines[15], u"");
}

TEST(SettingsReport, ResolvesInputAndPrintsTheBlock) {
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
#ifdef _WIN32
      {u"\"/logs/app1.log\"", u"/logs/", u"app1.log"},
      {u"/logs\\app1.log", u"/logs\\", u"app1.log"},
#else
      // Only "/" separates; "\" and quotes are name characters, so quotes
      // around nothing never name the current directory's every file.
      {u"\"/logs/app1.log\"", u"\"/logs/", u"app1.log\""},
      {u"/logs\\app1.log", u"/", u"logs\\app1.log"},
      {u"a\\b.log", u"", u"a\\b.log"},
      {u"\"q/y\"", u"\"q/", u"y\""},
      {u"\"\"", u"", u"\"\""},
      {u"\"", u"", u"\""},
#endif
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::directory().path = u"/logs";
    fake::directory().entries = {{u"app1.log", kFileType, 10, 0}};
    RunSettings settings;
    settings.inputSpec = c.input;
    ResolveInput(settings);
    EXPECT_EQ(settings.directory, c.directory) << std::string(c.input.begin(), c.input.end());
    EXPECT_EQ(settings.pattern, c.pattern);
  }
}

TEST(SettingsReport, ModeRegexAndAgeLines) {
  struct Case {
    int64_t deleteMode, batchMode, days, hours, minutes;
    Text expression;
    std::vector<Text> tail;  // lines after the two path lines
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, u"", {u"Löschmodus: nur Simulation", u"Batchmodus: nicht aktiv"}},
      {1,
       1,
       7,
       0,
       0,
       u"",
       {u"Löschmodus: aktiv", u"Batchmodus: aktiv",
        u"Mindestalter der Dateien: 7 Tage, 0 Stunden, 0 Minuten"}},
      {0,
       0,
       1,
       -30,
       0,
       u"x",
       {u"Löschmodus: nur Simulation", u"Batchmodus: nicht aktiv", u"regulärer Ausdruck: x",
        u"Mindestalter der Dateien: 1 Tage, -30 Stunden, 0 Minuten"}},
      {0, 0, -1, 0, 0, u"", {u"Löschmodus: nur Simulation", u"Batchmodus: nicht aktiv"}},
      {0,
       1,
       0,
       0,
       5,
       u"",
       {u"Löschmodus: nur Simulation", u"Batchmodus: aktiv",
        u"Mindestalter der Dateien: 0 Tage, 0 Stunden, 5 Minuten"}},
  };
  for (const Case& c : cases) {
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

TEST(Licence, LinesShapesAndProgramName) {
  fake::Reset();
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
