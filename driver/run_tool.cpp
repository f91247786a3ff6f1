// Start-up, the option pass, the usage text and the end of the run.
#include "driver/run_tool.h"

#include <cstdlib>

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

// Applies one option word. An option that takes a value reads the next
// parameter and moves the index past it, unless the value is attached to the
// word (-d7, -fC:\logs), as getopt-style tools read it; a tab between option
// and number is skipped by the number parsing. Flags take no attached value:
// -Dx is no option. Returns false for -l.
bool ApplyOption(RunSettings& settings, const Text& word, int64_t& index) {
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
  else
    return true;  // an unknown word is skipped
  Text value;
  if (TextLength(word) > 2) {
    value = word.substr(2);
  } else {
    value = NextParameter();
    ++index;
  }
  if (textValue != nullptr)
    *textValue = value;
  else
    *numberValue = ParseInteger(value);
  return true;
}

}  // namespace

Text BannerLine(const RunSettings& settings) {
  return settings.programName + u" Version " + settings.version;
}

OptionPassEnd ReadOptions(RunSettings& settings) {
  for (int64_t index = 1; index <= ParameterCount(); ++index) {
    Text word = NextParameter();
    if (!ApplyOption(settings, word, index)) return OptionPassEnd::kLicence;
  }
  return OptionPassEnd::kDone;
}

void WriteUsage(RunSettings& settings, const Text& message) {
  Write(u"Fehler: ");
  WriteLine(message);
  WriteLine(u"");
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
  if (ReadOptions(settings) == OptionPassEnd::kLicence) {
    WriteLicence(settings);
    EndRun(settings);
  }
  if (TextEquals(settings.inputSpec, u"")) {
    WriteUsage(settings, u"Keine Eingangsdatei definiert.");
    EndRun(settings);
  }
  ResolveInput(settings);
  ReportSettings(settings);
  CandidateList candidates;
  CollectCandidates(settings, candidates);
  FilterByName(settings, candidates);
  FilterByAge(settings, candidates);
  SpareNewest(settings, candidates);
  DeletionPass(settings, candidates);
  PrintSummary(settings, candidates);
  EndRun(settings);
}
