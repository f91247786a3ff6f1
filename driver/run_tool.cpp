// Start-up, the option pass, the usage text and the end of the run.
#include "driver/run_tool.h"

#include <cstdlib>
#include <iterator>
#include <vector>

#include "driver/candidates.h"
#include "driver/deletion_pass.h"
#include "driver/licence.h"
#include "driver/settings_report.h"
#include "runtime/console.h"
#include "runtime/file_system/file_system.h"
#include "runtime/parameters.h"
#include "runtime/regex.h"

namespace {

// The option lines of the usage text; the blanks align the dashes.
constexpr const char16_t* kOptionLines[] = {
    u"  -f <Eingabedatei (mit Wildcards)> - obligatorischer Parameter",
    u"  -b                                - aktiviert den Batchmodus",
    u"  -D                                - aktiviert den Löschmodus",
    u"  -r \"<regExp>\"                     - regulärer Ausdruck für Dateinamen",
    u"  -d <tage>                         - Mindestalter für Dateien in Tagen",
    u"  -h <stunden>                      - Mindestalter für Dateien in Stunden",
    u"  -m <minuten>                      - Mindestalter für Dateien in Minuten",
    u"  -a <anzahl>                       - Anzahl Dateien, die nicht gelöscht werden",
    u"  -l                                - Anzeige der Lizenzbedingungen",
};

constexpr const char16_t* kNoExpressionLine =
    u"Fehler: Ungültiger regulärer Ausdruck: kein Ausdruck angegeben";

// The tool's option words. A number option given one as its value had its
// own value left out (`-a %3 -D` with %3 empty).
constexpr const char16_t* kOptionWords[] = {u"-f", u"-r", u"-d", u"-h", u"-m",
                                            u"-a", u"-b", u"-D", u"-l"};

// The number options, the three parts of the minimum age first.
struct NumberOption {
  const char16_t* name;
  int64_t RunSettings::*field;
};
constexpr NumberOption kNumberOptions[] = {{u"-d", &RunSettings::minDays},
                                           {u"-h", &RunSettings::minHours},
                                           {u"-m", &RunSettings::minMinutes},
                                           {u"-a", &RunSettings::spareCount}};
constexpr size_t kAgeParts = 3;
constexpr size_t kSpareCount = 3;

// What the option pass keeps besides the settings.
struct PassState {
  OptionFaults& faults;
  // The last value of each age part when it was read whole: a minimum age
  // below zero is told by the values that made it so.
  Text ageValue[kAgeParts];
  bool ageWhole[kAgeParts] = {};
};

bool IsOptionWord(const Text& value) {
  for (const char16_t* word : kOptionWords) {
    if (TextEquals(value, word)) return true;
  }
  return false;
}

void AddFault(OptionFaults& faults, const Text& line, bool inEveryMode) {
  faults.lines.push_back(line);
  if (inEveryMode) faults.inEveryMode.push_back(line);
}

// Reads the value of number option `option` into the settings and notes
// what is wrong with it.
void ApplyNumber(RunSettings& settings, size_t option, const Text& value, PassState& state) {
  const NumberOption& number = kNumberOptions[option];
  const int64_t parsed = ParseInteger(value);
  settings.*number.field = parsed;
  const Text name = number.name;
  const bool whole = IsWholeNumber(value);
  if (!whole) {
    AddFault(state.faults, u"Fehler: Keine Zahl bei " + name + u": " + value, IsOptionWord(value));
  } else if (option == kSpareCount && parsed < 0) {
    AddFault(state.faults, u"Fehler: Negativer Wert bei " + name + u": " + value, false);
  }
  if (option < kAgeParts) {
    state.ageValue[option] = value;
    state.ageWhole[option] = whole;
  }
}

// A minimum age below zero turns the age filter off: each part that made it
// so is a fault.
void CheckAgeTotal(const RunSettings& settings, PassState& state) {
  if (MinimumAge(settings) >= 0) return;
  for (size_t part = 0; part < kAgeParts; ++part) {
    const NumberOption& number = kNumberOptions[part];
    if (!state.ageWhole[part] || settings.*number.field >= 0) continue;
    AddFault(state.faults,
             u"Fehler: Negativer Wert bei " + Text(number.name) + u": " + state.ageValue[part],
             false);
  }
}

// Applies one option word. An option that takes a value reads the next
// parameter and moves the index past it, unless the value is attached to the
// word (-d7, -fC:\logs), as getopt-style tools read it; a tab between option
// and number is skipped by the number parsing. Flags take no attached value:
// -Dx is no option. What the pass cannot read whole (an unknown word, a number
// value that is not wholly a number, an empty expression) is noted in
// `state`. Returns false for -l.
bool ApplyOption(RunSettings& settings, const Text& word, int64_t& index, PassState& state) {
  if (TextEquals(word, u"-b")) {
    settings.batchMode = 1;
    return true;
  }
  if (TextEquals(word, u"-D")) {
    settings.deleteMode = 1;
    return true;
  }
  if (TextEquals(word, u"-l")) return false;
  const Text name = LeftPart(word, 2);
  Text* textValue = nullptr;
  size_t numberOption = std::size(kNumberOptions);
  if (TextEquals(name, u"-f")) textValue = &settings.inputSpec;
  if (TextEquals(name, u"-r")) textValue = &settings.nameExpression;
  for (size_t option = 0; option < std::size(kNumberOptions); ++option) {
    if (TextEquals(name, kNumberOptions[option].name)) numberOption = option;
  }
  if (textValue == nullptr && numberOption == std::size(kNumberOptions)) {
    AddFault(state.faults, u"Fehler: Unbekannter Parameter: " + word, false);
    return true;
  }
  Text value;
  if (TextLength(word) > 2) {
    value = word.substr(2);
  } else {
    value = NextParameter();
    ++index;
  }
  if (textValue == nullptr) {
    ApplyNumber(settings, numberOption, value, state);
    return true;
  }
  *textValue = value;
  // An empty expression (given last, or "$RE" with RE empty) would drop the
  // name filter; an empty -f leaves no input, which the usage text reports.
  if (textValue == &settings.nameExpression && value.empty()) {
    AddFault(state.faults, kNoExpressionLine, false);
  }
  return true;
}

// Adds PCRE's message when the name expression does not compile.
void CheckExpression(const RunSettings& settings, std::vector<Text>& faults) {
  if (TextEquals(settings.nameExpression, u"")) return;
  if (CompilePattern(0, settings.nameExpression) == 0)
    faults.push_back(u"Fehler: Ungültiger regulärer Ausdruck: " + PatternError());
}

}  // namespace

Text BannerLine(const RunSettings& settings) {
  return settings.programName + u" Version " + settings.version;
}

OptionPassEnd ReadOptions(RunSettings& settings, OptionFaults& faults) {
  PassState state{faults, {}, {}};
  for (int64_t index = 1; index <= ParameterCount(); ++index) {
    Text word = NextParameter();
    if (!ApplyOption(settings, word, index, state)) return OptionPassEnd::kLicence;
  }
  CheckAgeTotal(settings, state);
  return OptionPassEnd::kDone;
}

bool RefuseRun(RunSettings& settings, OptionFaults& faults) {
  if (settings.deleteMode == 1) CheckExpression(settings, faults.lines);
  const std::vector<Text>& shown = settings.deleteMode == 1 ? faults.lines : faults.inEveryMode;
  if (shown.empty()) return false;
  for (const Text& line : shown) WriteLine(line);
  WriteUsageText(settings);
  return true;
}

void WriteUsage(RunSettings& settings, const Text& message) {
  Write(u"Fehler: ");
  WriteLine(message);
  WriteLine(u"");
  WriteUsageText(settings);
}

void WriteUsageText(RunSettings& settings) {
  WriteLine(u"Usage: " + settings.programName + u" [parameter]");
  WriteLine(u"");
  WriteLine(u"gültige Parameter:");
  WriteLine(u"");
  for (const char16_t* line : kOptionLines) WriteLine(line);
  WriteLine(u"");
  settings.exitCode = 99;
}

void ReleaseRun() {
  ReleaseAllPatterns();
  CloseAllScans();
}

void EndRun(const RunSettings& settings) {
  ReleaseRun();
  // A run whose log could not be written is no success.
  const int64_t code = settings.exitCode == 0 && OutputFailed() ? 1 : settings.exitCode;
  std::exit(static_cast<int>(code));
}

void RunTool() {
  RunSettings settings;
  settings.programName = ProgramName();
  InitConsole();
  SetCloseRoutine(ReleaseRun);
  WriteLine(BannerLine(settings));
  WriteLine(u"");
  OptionFaults faults;
  if (ReadOptions(settings, faults) == OptionPassEnd::kLicence) {
    WriteLicence(settings);
    EndRun(settings);
  }
  if (TextEquals(settings.inputSpec, u"")) {
    WriteUsage(settings, u"Keine Eingangsdatei definiert.");
    EndRun(settings);
  }
  if (RefuseRun(settings, faults)) EndRun(settings);
  ResolveInput(settings);
  ReportSettings(settings);
  CandidateList candidates;
  CollectCandidates(settings, candidates);
  FilterByName(settings, candidates);
  DropLinksToDirectories(candidates);
  FilterByAge(settings, candidates);
  SpareNewest(settings, candidates);
  DeletionPass(settings, candidates);
  PrintSummary(settings, candidates);
  EndRun(settings);
}
