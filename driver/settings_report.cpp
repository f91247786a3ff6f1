// Input resolution and the settings block.
#include "driver/settings_report.h"

#include "runtime/console.h"
#include "runtime/file_system.h"
#include "runtime/wildcard.h"

namespace {

// Splits the value into directory part and file part. The path and file
// parts stop at "|" and end at a double quote; when they don't add up to the
// whole value (apart from enclosing quotes), taking them would name another
// directory or file than the one given, so the value is split literally at
// its last separator instead.
void SplitInput(const Text& input, Text& directory, Text& file) {
  directory = PathPart(input);
  file = FilePart(input);
  Text body = input;
  if (!body.empty() && body.front() == u'"') {
    body.erase(0, 1);
    if (!body.empty() && body.back() == u'"') body.pop_back();
  }
  if (directory + file == body) return;
  size_t cut = body.find_last_of(u"\\/");
  cut = cut == Text::npos ? 0 : cut + 1;
  directory = body.substr(0, cut);
  file = body.substr(cut);
}

}  // namespace

void ResolveInput(RunSettings& settings) {
  const Text& input = settings.inputSpec;
  Text directory;
  Text file;
  SplitInput(input, directory, file);
  // "C:*.tmp" names drive C's current directory and the pattern after the
  // colon, so the scan and the deletions both look there.
  if (directory.empty()) {
    const size_t drive = DrivePrefixLength(file);
    directory = file.substr(0, drive);
    file.erase(0, drive);
  }
  // A wildcard in the last component always makes a pattern, even when its
  // first match is a directory such as "." for "*.*".
  if (!HasWildcard(file) && PathSize(input) == kDirectorySize) {
    settings.directory = input;
    settings.pattern = u"*.*";
    return;
  }
  settings.directory = directory;
  settings.pattern = file;
}

void ReportSettings(const RunSettings& settings) {
  WriteLine(u"Eingangspfad: " + settings.directory);
  WriteLine(u"Eingangsdatei: " + settings.pattern);
  Write(u"Löschmodus: ");
  WriteLine(settings.deleteMode == 1 ? u"aktiv" : u"nur Simulation");
  Write(u"Batchmodus: ");
  WriteLine(settings.batchMode == 1 ? u"aktiv" : u"nicht aktiv");
  if (!TextEquals(settings.nameExpression, u"")) {
    WriteLine(u"regulärer Ausdruck: " + settings.nameExpression);
  }
  if (settings.minDays > 0 || settings.minHours > 0 || settings.minMinutes > 0) {
    WriteLine(u"Mindestalter der Dateien: " + FormatInteger(settings.minDays) + u" Tage, " +
              FormatInteger(settings.minHours) + u" Stunden, " +
              FormatInteger(settings.minMinutes) + u" Minuten");
  }
}
