// Path rules of both builds, chosen by a style argument, so that each build's
// rules can be tested on any machine: the split of a path the user gave into
// its directory and file parts, and the trim of trailing separators.
#pragma once

#include "runtime/text.h"

enum class PathStyle {
  kPosix,    // only "/" separates; "\", "|" and quotes are name characters
  kWindows,  // "\" and "/" separate; drives, quotes and "|" as PathPart/FilePart read them
};

// The style of the build the tool runs on (text_posix / text_win32).
extern const PathStyle kNativePathStyle;

// Splits a path the user gave into its directory part (up to and including
// the last separator) and its file part. Together the parts always name what
// the value names, never another directory.
void SplitUserPath(const Text& path, PathStyle style, Text& directory, Text& file);

// The same by the rules of the running build.
inline void SplitUserPath(const Text& path, Text& directory, Text& file) {
  SplitUserPath(path, kNativePathStyle, directory, file);
}

// Removes every trailing separator ("dir//" becomes "dir", "/" becomes "").
void TrimTrailingSeparators(Text& path, PathStyle style);
