// What the system says about a path, each answer asked through the file seam (FileOp::Query):
// what is under a name, whether two names lead to one file, where its links lead, how long a
// name its folder holds and a path the system's functions take may be, and where the program
// itself and the current folder are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_seam.h"
#include "platform/path_text.h"

namespace dustweave {

// The running program's full path from the system (GetModuleFileNameA, /proc/self/exe), never
// from argv[0]; empty when the system does not say.
std::string ProgramPath();

// `path` made absolute against the current folder, by the system's own rules; `path` itself
// when the system cannot say.
std::string AbsolutePath(const std::string& path);

enum class PathKind { Missing, File, Folder, Other };

// What is under a name, following symbolic links.
struct PathStatus {
  PathKind kind = PathKind::Missing;
  uint64_t size = 0;
  unsigned mode = 0;               // permission bits (POSIX)
  uint64_t volume = 0, index = 0;  // the same for every name and link that leads to the file
};
// 0, with `status` filled (kind Missing when nothing is there), or the error that kept the
// system from saying.
SystemError StatusOf(const std::string& path, PathStatus* status);

// Whether `path` names a regular file (not a folder); false when it cannot be looked at.
bool IsRegularFile(const std::string& path);
// Whether two paths name one existing file, however each is spelled (links, "..", case).
bool SameFile(const std::string& a, const std::string& b);
// Whether two paths lead to the same place, existing or to be made: one file, or the same name
// in one folder (compared as Windows compares names there, ignoring case).
bool SamePlace(const std::string& a, const std::string& b);

// Where `path` leads through symbolic links: the path of the file (existing or to be made) that
// opening `path` reaches, spelled from `path`'s own bytes; `path` itself when it is no link.
// 0, or the error (a loop of links, a link that cannot be read). Windows: `path` itself.
SystemError ResolveLinks(const std::string& path, std::string* target);

// The longest file name the folder of `path` holds, in NameUnits.
size_t NameLimitOf(const std::string& path);
// Empty when the folder of `path` holds a name as long as its own; else why not, as a clause to
// follow "cannot write PATH: ".
std::string NameTooLong(const std::string& path);

// Empty when the system's file functions take a path this long; else why they do not, as a
// clause to follow "cannot open PATH: ". `room` is added to its length first
// (TEMPORARY_NAME_ROOM for an output). Windows without long paths turned on takes no more than
// 259 characters; elsewhere the system says what it refuses when the file is opened.
std::string PathLengthRefusal(const std::string& path, size_t room = 0);

}  // namespace dustweave
