// A path as the program received it: the bytes the user typed (or the system gave), split and
// joined as text and handed to the system unchanged, never converted to another encoding and
// back. On Windows both '/' and '\' separate names and the bytes are in the process code page
// (UTF-8 under dustweave's manifest); elsewhere only '/' does. Text only: what the system says
// about a path is asked through path_queries.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace dustweave
