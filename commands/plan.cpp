// A command's checks. Divisions: output names and formats; the input; the module; saying why not.
#include "commands/plan.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "commands/called_name.h"
#include "commands/exit_status.h"
#include "pfxtools/pfx_count.h"
#include "pfxtools/pfx_look.h"
#include "platform/file_handle.h"
#include "platform/output_file.h"
#include "platform/path_queries.h"
#include "platform/temp_files.h"

namespace dustweave {

namespace {

Refusal Misuse(std::string reason) { return {EXIT_MISUSE, std::move(reason)}; }
Refusal Unable(std::string reason) { return {EXIT_NOT_DONE, std::move(reason)}; }
Refusal NotWritable(const std::string& path, const std::string& reason) { return Unable(CannotWrite(path, reason)); }

}  // namespace

// ---- output names and formats -----------------------------------------------------------------

namespace {

// The extensions that name a format, the usual one first.
std::vector<std::string> ExtensionsOf(OutputFormat format) {
  switch (format) {
    case OutputFormat::Obj: return {".obj"};
    case OutputFormat::Glb: return {".glb"};
    case OutputFormat::Usda: return {".usda"};
    case OutputFormat::Usdc: return {".usdc"};
    case OutputFormat::Svg: return {".svg"};
    case OutputFormat::Html: return {".html", ".htm"};
    case OutputFormat::Pfx: return {".pfx"};
  }
  return {};
}

// Whether `path` ends in `extension`, in any case.
bool HasExtension(const std::string& path, const std::string& extension) {
  if (path.size() <= extension.size()) return false;
  std::string tail = path.substr(path.size() - extension.size());
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == extension;
}

// ".obj or .glb"
std::string ExtensionList(const std::vector<OutputFormat>& formats) {
  std::vector<std::string> all;
  for (OutputFormat format : formats) {
    for (const std::string& extension : ExtensionsOf(format)) all.push_back(extension);
  }
  std::string list;
  for (size_t i = 0; i < all.size(); ++i) list += (i == 0 ? "" : i + 1 == all.size() ? " or " : ", ") + all[i];
  return list;
}

// Whether the file system can hold the name, and whether a file can be put under it. A symbolic
// link is written through: the folder it leads into must exist.
Verdict CheckPlace(const std::string& path) {
  std::string target, name = FileNameOf(path);
  if (name.empty() || name == "." || name == "..") return NotWritable(path, "it names a folder");
  if (std::string tooLong = NameTooLong(path); !tooLong.empty()) return NotWritable(path, tooLong);
  if (SystemError failure = ResolveLinks(path, &target)) return NotWritable(path, SystemReason(failure));
  std::string folder = FolderOf(target), through = target == path ? "" : " (where the link " + path + " leads)";
  PathStatus place;
  place.kind = PathKind::Folder;  // the current folder, when the path names none
  if (SystemError failure = folder.empty() ? 0 : StatusOf(folder, &place)) return NotWritable(path, SystemReason(failure));
  if (place.kind == PathKind::Missing) return NotWritable(path, "the folder " + folder + " does not exist" + through);
  if (place.kind != PathKind::Folder) return NotWritable(path, folder + " is not a folder" + through);
  if (SystemError failure = StatusOf(path, &place)) return NotWritable(path, SystemReason(failure));
  if (place.kind == PathKind::Folder) return NotWritable(path, "it is a folder");
  if (place.kind == PathKind::Other) return NotWritable(path, "it is not a plain file");
  return {};
}

Verdict PlanOne(const std::string& input, const OutputName& name, CommandPlan* plan) {
  std::optional<OutputFormat> format = FormatNamed(name.path, name.formats);
  if (!format) return Misuse(name.option + " must end in " + ExtensionList(name.formats) + ": " + name.path);
  if (!input.empty() && SamePlace(input, name.path)) return Misuse(name.option + " is the input itself: " + name.path);
  for (const PlannedOutput& before : plan->outputs) {
    if (SamePlace(name.path, before.path)) return Misuse(name.option + " names " + before.option + " too: " + name.path);
  }
  if (Verdict place = CheckPlace(name.path)) return place;
  plan->outputs.push_back({name.path, name.option, *format});
  return {};
}

}  // namespace

std::optional<OutputFormat> FormatNamed(const std::string& path, const std::vector<OutputFormat>& formats) {
  for (OutputFormat format : formats) {
    for (const std::string& extension : ExtensionsOf(format)) {
      if (HasExtension(path, extension)) return format;
    }
  }
  return std::nullopt;
}

Verdict CheckPathLengths(std::initializer_list<GivenPath> paths) {
  for (const GivenPath& given : paths) {
    if (given.path.empty()) continue;
    std::string reason = PathLengthRefusal(given.path, given.output ? TEMPORARY_NAME_ROOM : 0);
    if (reason.empty()) continue;
    return Unable(given.output ? CannotWrite(given.path, reason) : "cannot open " + given.path + ": " + reason);
  }
  return {};
}

Verdict PlanOutputs(const std::string& input, const std::vector<OutputName>& names, CommandPlan* plan) {
  for (const OutputName& name : names) {
    if (Verdict refusal = PlanOne(input, name, plan)) return refusal;
  }
  return {};
}

std::vector<std::string> PathsOf(const std::vector<PlannedOutput>& outputs) {
  std::vector<std::string> paths;
  for (const PlannedOutput& output : outputs) paths.push_back(output.path);
  return paths;
}

// ---- the input --------------------------------------------------------------------------------

namespace {

Refusal NotPlainFile(const std::string& path) {
  return Unable("cannot open " + path + ": it is not a plain file (a device or a pipe), and a pfx file is one");
}

}  // namespace

Verdict RefuseDevice(const std::string& path) {
  PathStatus status;
  if (StatusOf(path, &status) != 0 || status.kind != PathKind::Other) return {};
  return NotPlainFile(path);
}

Verdict PlanInput(const std::string& path, CommandPlan* plan) {
  PathStatus status;
  SystemError failure = StatusOf(path, &status);
  if (failure == 0 && status.kind == PathKind::Folder) return Unable("cannot open " + path + ": it is a folder");
  if (failure == 0 && status.kind == PathKind::Other) return NotPlainFile(path);
  FileHandle file;
  if (failure == 0) failure = file.OpenToRead(path);
  if (failure != 0) return Unable("cannot open " + path + ": " + SystemReason(failure));
  std::string start(PFX_LOOK_BYTES, '\0');
  size_t got = 0;
  if (SystemError readFailure = file.ReadAt(0, start.data(), start.size(), &got)) {
    return Unable("cannot read " + path + ": " + SystemReason(readFailure));
  }
  start.resize(got);
  if (start.empty()) return Unable(path + " is empty: it holds no pfx file");
  plan->input = path;
  plan->inputBytes = status.size;
  plan->notPfx = NotPfxReason(start, std::max<uint64_t>(status.size, start.size()));
  plan->samples = SamplesBySize(start, status.size);
  return {};
}

// ---- the module -------------------------------------------------------------------------------

Verdict PlanModule(const std::string& path, CommandPlan* plan) {
  std::string error;
  plan->module = standin::LoadedModule::Load(path, &error);
  return plan->module ? Verdict{} : Unable(error);
}

// ---- saying why not ---------------------------------------------------------------------------

void Say(const std::string& line) { std::cerr << "dustweave: " << line << "\n"; }

int Refuse(const Refusal& refusal, const std::string& command) {
  if (refusal.status != EXIT_MISUSE) {
    Say(refusal.reason);
  } else {
    Say(refusal.reason + " (see " + CalledName() + (command.empty() ? "" : " ") + command + " --help)");
  }
  return refusal.status;
}

int NotDone(const std::string& reason) {
  Say(reason);
  return EXIT_NOT_DONE;
}

}  // namespace dustweave
