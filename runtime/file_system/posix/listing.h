// Listing a directory on POSIX: every name once, through the table of
// file-system calls.
#pragma once

#include <functional>
#include <string_view>

#include "runtime/text.h"

// Hands every name of a directory to `onName(bytes, name, upper, directory)`:
// as the system spelled it, decoded, its ToUpper copy (all valid during the
// call only) and whether the listing itself reports a directory.
using NameSink = std::function<void(std::string_view bytes, const Text& name, const Text& upper,
                                    bool directory)>;

// Reads the directory once, each name to `onName`. `dirFd` may be an O_PATH
// descriptor: the directory is opened for reading through it. False when it
// can't be read.
bool ListNames(int dirFd, const NameSink& onName);
