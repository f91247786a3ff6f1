// The per-file loop and the summary.
#include "driver/deletion_pass.h"

#include "runtime/console.h"
#include "runtime/file_system/file_system.h"

namespace {

// Unit thresholds of the freed size, largest first.
struct SizeUnit {
  uint64_t divisor;
  const char16_t* text;
};
constexpr SizeUnit kSizeUnits[] = {
    {1073741824, u" GiB"},
    {1048576, u" MiB"},
    {1024, u" KiB"},
    {1, u" B"},
};

// The simulation's mark, made once: a million lines cost no text each.
const Text kSimulationMark = u"(Simulation!)";

// Asks for a confirmation; true when the answer starts with J or Y in either
// case.
bool Confirmed() {
  Write(u"Bitte mit \"J\" oder \"Y\" bestätigen ");
  Text first = ToUpper(LeftPart(ReadLine(), 1));
  return TextEquals(first, u"Y") || TextEquals(first, u"J");
}

void DeleteEntry(RunSettings& settings, const FileEntry& entry, const ListedName& listed) {
  const int removed = RemoveFile(listed, entry.Id());
  if (removed == 0) {
    WriteLine(u"Fehler!");
    return;
  }
  ++settings.deletedCount;
  // A name that other hard links keep frees nothing. Sizes are added modulo
  // 2^64: sparse files can claim more than fits.
  if (removed == kRemovedFile) {
    settings.bytesFreed = static_cast<int64_t>(static_cast<uint64_t>(settings.bytesFreed) +
                                               static_cast<uint64_t>(entry.size));
  }
  WriteLine(u"OK!");
}

}  // namespace

void DeletionPass(RunSettings& settings, CandidateList& list) {
  SortNewestFirst(list);
  Text line;  // kept from one file to the next: a million files cost no allocation each
  while (FileEntry* entry = ListNext(list)) {
    const ListedName listed = entry->Listed();  // the name's length found once
    line.assign(u"Datei ");
    AppendNameText(listed.name, line);  // the one conversion of the name
    line.append(u" wird gelöscht. ");
    Write(line);
    if (settings.deleteMode != 1) {
      WriteLine(kSimulationMark);
    } else if (settings.batchMode == 1 || Confirmed()) {
      // A file deleted now might never be named in the log.
      if (OutputFailed()) break;
      HoldStopSignals();  // a file removed gets its line before a stop signal acts
      DeleteEntry(settings, *entry, listed);
      ReleaseStopSignals();
    } else {
      WriteLine(u"Löschvorgang abgebrochen");
    }
  }
}

Text FormatFreedSize(int64_t bytesFreed) {
  const uint64_t bytes = static_cast<uint64_t>(bytesFreed);
  for (const SizeUnit& unit : kSizeUnits) {
    if (bytes >= unit.divisor || unit.divisor == 1) {
      // At most 2^34 (GiB of a 64-bit count), so the quotient fits.
      return FormatInteger(static_cast<int64_t>(bytes / unit.divisor)) + unit.text;
    }
  }
  return Text();
}

void PrintSummary(const RunSettings& settings, const CandidateList& list) {
  if (ListLength(list) == 0) WriteLine(u"Keine zu löschenden Dateien gefunden");
  if (settings.deletedCount <= 0) return;
  WriteLine(u"");
  Text count = FormatInteger(settings.deletedCount);
  if (settings.deletedCount == 1)
    WriteLine(u"Es wurde " + count + u" Datei gelöscht.");
  else
    WriteLine(u"Es wurden " + count + u" Dateien gelöscht.");
  Write(u"Dabei wurden ");
  Write(FormatFreedSize(settings.bytesFreed));
  WriteLine(u" freigegeben.");
}
