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

// Whether `unit` (a UTF-16 unit, or a byte of a POSIX path's UTF-8, where a
// "/" byte is always the separator) separates path parts.
template <typename Unit>
constexpr bool IsPathSeparator(Unit unit, PathStyle style) {
  return unit == '/' || (style == PathStyle::kWindows && unit == '\\');
}

// Where the file part of `path` starts: just past its last separator, 0 when
// it holds none.
template <typename String>
size_t FilePartStart(const String& path, PathStyle style) {
  size_t cut = path.size();
  while (cut > 0 && !IsPathSeparator(path[cut - 1], style)) --cut;
  return cut;
}

// The length of `path` without its trailing separators, but never below
// `keep` units: with 1, "/" stays "/".
template <typename String>
size_t LengthWithoutTrailingSeparators(const String& path, PathStyle style, size_t keep = 0) {
  size_t end = path.size();
  while (end > keep && IsPathSeparator(path[end - 1], style)) --end;
  return end;
}

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
