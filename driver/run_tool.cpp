// Start-up, the option pass, the usage text and the end of the run.
#include "driver/run_tool.h"

#include <cstdlib>
#include <vector>

#include "driver/candidates.h"
#include "driver/deletion_pass.h"
#include "driver/licence.h"
#include "driver/settings_report.h"
#include "runtime/console.h"
#include "runtime/file_system.h"
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

// Applies one option word. An option that takes a value reads the next
// parameter and moves the index past it, unless the value is attached to the
// word (-d7, -fC:\logs), as getopt-style tools read it; a tab between option
// and number is skipped by the number parsing. Flags take no attached value:
// -Dx is no option. What the pass cannot read whole (an unknown word, a number
// value that is not wholly a number, an expression option given last) is
// described in `faults`. Returns false for -l.
bool ApplyOption(RunSettings& settings, const Text& word, int64_t& index,
                 std::vector<Text>& faults) {
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
  int64_t* numberValue = nullptr;
  if (TextEquals(name, u"-f"))
    textValue = &settings.inputSpec;
  else if (TextEquals(name, u"-d"))
    numberValue = &settings.minDays;
  else if (TextEquals(name, u"-h"))
    numberValue = &settings.minHours;
  else if (TextEquals(name, u"-m"))
    numberValue = &settings.minMinutes;
  else if (TextEquals(name, u"-a"))
    numberValue = &settings.spareCount;
  else if (TextEquals(name, u"-r"))
    textValue = &settings.nameExpression;
  if (textValue == nullptr && numberValue == nullptr) {
    faults.push_back(u"Fehler: Unbekannter Parameter: " + word);
    return true;
  }
  Text value;
  bool missing = false;
  if (TextLength(word) > 2) {
    value = word.substr(2);
  } else {
    value = NextParameter();
    missing = ++index > ParameterCount();
  }
  if (numberValue != nullptr) {
    *numberValue = ParseInteger(value);
    if (!IsWholeNumber(value)) faults.push_back(u"Fehler: Keine Zahl bei " + name + u": " + value);
    return true;
  }
  *textValue = value;
  // -f given last leaves no input, which the usage text reports.
  if (missing && textValue == &settings.nameExpression) faults.push_back(kNoExpressionLine);
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

OptionPassEnd ReadOptions(RunSettings& settings, std::vector<Text>& faults) {
  for (int64_t index = 1; index <= ParameterCount(); ++index) {
    Text word = NextParameter();
    if (!ApplyOption(settings, word, index, faults)) return OptionPassEnd::kLicence;
  }
  return OptionPassEnd::kDone;
}

bool RefuseDeletion(RunSettings& settings, std::vector<Text>& faults) {
  if (settings.deleteMode != 1) return false;
  CheckExpression(settings, faults);
  if (faults.empty()) return false;
  for (const Text& line : faults) WriteLine(line);
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
  std::exit(static_cast<int>(settings.exitCode));
}

void RunTool() {
  RunSettings settings;
  settings.programName = ProgramName();
  InitConsole();
  SetCloseRoutine(ReleaseRun);
  WriteLine(BannerLine(settings));
  WriteLine(u"");
  std::vector<Text> faults;
  if (ReadOptions(settings, faults) == OptionPassEnd::kLicence) {
    WriteLicence(settings);
    EndRun(settings);
  }
  if (TextEquals(settings.inputSpec, u"")) {
    WriteUsage(settings, u"Keine Eingangsdatei definiert.");
    EndRun(settings);
  }
  if (RefuseDeletion(settings, faults)) EndRun(settings);
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
