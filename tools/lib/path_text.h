// A path as the program received it: the bytes the user typed (or the system gave), split and
// joined as text and handed to the system unchanged, never converted to another encoding and
// back. On Windows both '/' and '\' separate names and the bytes are in the process code page
// (UTF-8 under dustweave's manifest); elsewhere only '/' does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dustweave {

// How many bytes longer than an output's own path the temporary file written beside it may be
// ("." before the name, ".partial-", a process ID and a counter of up to 20 digits each); a path
// is checked for length with this much room when it names an output.
inline constexpr size_t TEMPORARY_NAME_ROOM = 1 + 9 + 20 + 1 + 20;

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

// The running program's full path from the system (GetModuleFileNameA, /proc/self/exe), never
// from argv[0]; empty when the system does not say.
std::string ProgramPath();

// `path` made absolute against the current folder, by the system's own rules; `path` itself
// when the system cannot say.
std::string AbsolutePath(const std::string& path);

// Whether `path` names a regular file (not a folder); false when it cannot be looked at.
bool IsRegularFile(const std::string& path);

// The size of the file `path` names; nullopt when it cannot be looked at.
std::optional<uint64_t> FileSizeOf(const std::string& path);

// Whether two paths name one existing file, however each is spelled (links, "..", case).
bool SameFile(const std::string& a, const std::string& b);

// Empty when the system's file functions take a path this long; else why they do not, as a
// clause to follow "cannot open PATH: ". `room` is added to its length first
// (TEMPORARY_NAME_ROOM for an output). Windows without long paths turned on takes no more than
// 259 characters; elsewhere the system says what it refuses when the file is opened.
std::string PathLengthRefusal(const std::string& path, size_t room = 0);

}  // namespace dustweave
