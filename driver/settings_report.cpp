// Input resolution and the settings block.
#include "driver/settings_report.h"

#include "runtime/console.h"
#include "runtime/file_system/file_system.h"
#include "runtime/path.h"
#include "runtime/wildcard.h"

void ResolveInput(RunSettings& settings) {
  const Text& input = settings.inputSpec;
  Text directory;
  Text file;
  SplitUserPath(input, directory, file);
  // A wildcard in the last component always makes a pattern, even when its
  // first match is a directory such as "." for "*.*".
  const ResolvedPath resolved = HasWildcard(file) ? ResolvedPath{} : ResolvePath(input);
  if (resolved.size == kDirectorySize) {
    // A value that is all directory part is that part: itself, or for a
    // bare drive "C:" its root "C:\".
    settings.directory = file.empty() ? directory : input;
    settings.pattern = u"*.*";
    // The directory the check found is the one the scan reads, where the
    // platform opened it on the way: a link swapped since can't redirect it.
    settings.scanDirectory =
        resolved.directory.Opened() ? resolved.directory : ResolveDirectory(settings.directory);
    return;
  }
  settings.directory = directory;
  settings.pattern = file;
  settings.scanDirectory = ResolveDirectory(directory);
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
