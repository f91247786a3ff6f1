#include "runtime/path.h"

namespace {

void SplitAtLastSeparator(const Text& path, PathStyle style, Text& directory, Text& file) {
  const size_t cut = FilePartStart(path, style);
  directory = path.substr(0, cut);
  file = path.substr(cut);
}

// "C:*.tmp" names drive C's current directory and the pattern after the
// colon, so the scan and the deletions both look there. A bare "C:" names the
// drive's root, as the check of the input finds it.
void SplitDrivePrefix(Text& directory, Text& file) {
  if (!directory.empty() || file.size() < 2 || file[1] != u':') return;
  const char16_t letter = file[0];
  if (!((letter >= u'A' && letter <= u'Z') || (letter >= u'a' && letter <= u'z'))) return;
  directory = file.substr(0, 2);
  file.erase(0, 2);
  if (file.empty()) directory += u'\\';
}

// The path and file parts stop at "|" and end at a double quote; when they
// don't add up to the whole value (apart from enclosing quotes), taking them
// would name another directory or file than the one given, so the value is
// split literally at its last separator instead.
void SplitWindowsPath(const Text& path, Text& directory, Text& file) {
  directory = PathPart(path);
  file = FilePart(path);
  Text body = path;
  if (!body.empty() && body.front() == u'"') {
    body.erase(0, 1);
    if (!body.empty() && body.back() == u'"') body.pop_back();
  }
  // Quotes around nothing (a script's -f"%DIR%" with DIR empty) never name
  // the current directory: the value stands for the name it literally is,
  // which no Windows file can have.
  if (body.empty()) {
    directory.clear();
    file = path;
    return;
  }
  if (directory + file != body) SplitAtLastSeparator(body, PathStyle::kWindows, directory, file);
  SplitDrivePrefix(directory, file);
}

}  // namespace

void SplitUserPath(const Text& path, PathStyle style, Text& directory, Text& file) {
  if (style == PathStyle::kWindows) {
    SplitWindowsPath(path, directory, file);
  } else {
    SplitAtLastSeparator(path, style, directory, file);
  }
}

void TrimTrailingSeparators(Text& path, PathStyle style) {
  path.resize(LengthWithoutTrailingSeparators(path, style));
}
