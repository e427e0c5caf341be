// A path as the program received it: the bytes the user typed (or the system gave), split and
// joined as text and handed to the system unchanged, never converted to another encoding and
// back. On Windows both '/' and '\' separate names and the bytes are in the process code page
// (UTF-8 under dustweave's manifest); elsewhere only '/' does. Then what the system says about
// the names: what is under one, where its links lead, how long a name may be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_seam.h"

namespace dustweave {

// ---- folder and name ------------------------------------------------------------------------

bool IsPathSeparator(char c);

// Where the file name begins in `path`: after its last separator (on Windows also after a drive
// such as "C:"), or 0.
size_t FileNameStart(const std::string& path);

// The folder part with its separator, so that the folder and the name are the path again:
// "a/b/c.pfx" -> "a/b/"; "/c.pfx" -> "/"; "C:\c.pfx" -> "C:\"; "C:c.pfx" -> "C:"; "c.pfx" -> "".
std::string FolderOf(const std::string& path);

// "a/b/c.pfx" -> "c.pfx".
std::string FileNameOf(const std::string& path);

// `name` inside `folder` ("" being the current folder), with one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);

// ---- names as the file system counts them -------------------------------------------------

// A name's length in the units a folder's limit counts: bytes on POSIX, UTF-16 units on Windows
// (a character outside the Basic Multilingual Plane takes two).
size_t NameUnits(const std::string& name);
// What NameUnits counts, for messages: "bytes" or "UTF-16 units".
const char* NameUnitWord();
// The longest start of `name` that is at most `units` long in both bytes and NameUnits, cut
// between characters.
std::string NameStart(const std::string& name, size_t units);

// ---- what the system says -----------------------------------------------------------------

// The running program's full path from the system (GetModuleFileNameA, /proc/self/exe), never
// from argv[0]; empty when the system does not say.
std::string ProgramPath();

// `path` made absolute against the current folder, by the system's own rules; `path` itself
// when the system cannot say.
std::string AbsolutePath(const std::string& path);

enum class PathKind { Missing, File, Folder, Other };

// A file's identity on its volume, the same for every name and link that leads to it.
struct FileIdentity {
  uint64_t volume = 0, index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What is under a name, following symbolic links.
struct PathStatus {
  PathKind kind = PathKind::Missing;
  uint64_t size = 0;
  unsigned mode = 0;  // permission bits (POSIX)
  FileIdentity identity;
};
// 0, with `status` filled (kind Missing when nothing is there), or the error that kept the
// system from saying.
SystemError StatusOf(const std::string& path, PathStatus* status);

// Whether `path` names a regular file (not a folder); false when it cannot be looked at.
bool IsRegularFile(const std::string& path);
// The size of the file `path` names; nullopt when it cannot be looked at.
std::optional<uint64_t> FileSizeOf(const std::string& path);
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
