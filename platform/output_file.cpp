// The output file written beside its name, and the commit of a command's outputs, one rename
// each, in order.
#include "platform/output_file.h"

#include <atomic>

#include "platform/path_queries.h"
#include "platform/temp_files.h"

namespace dustweave {

namespace {

std::atomic<WriteFailureHandler> gOnWriteFailure{nullptr};
std::atomic<bool> gCommitted{false};

}  // namespace

void SetWriteFailureHandler(WriteFailureHandler handler) { gOnWriteFailure.store(handler); }

bool AnyOutputCommitted() { return gCommitted.load(); }

std::string CannotWrite(const std::string& path, const std::string& reason) { return "cannot write " + path + ": " + reason; }

// ---- writing --------------------------------------------------------------------------------

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Create(const std::string& path, std::string* error) {
  Abandon();
  path_ = path;
  end_ = 0;
  error_ = ResolveLinks(path, &target_);
  // A name a run of the same process ID took before a restart is left to it: the next is tried.
  for (int attempt = 0; attempt < 3 && error_ == 0; ++attempt) {
    temporary_ = TemporaryNameFor(target_);
    RegisterTemporary(temporary_);  // before it exists, so that an interrupt never misses it
    error_ = handle_.Create(temporary_);
    if (error_ == 0) return true;
    ForgetTemporary(temporary_);
    temporary_.clear();
    if (error_ != SYSTEM_NAME_TAKEN) break;
  }
  *error = reason();
  return false;
}

std::string OutputFile::reason() const { return reason(error_); }

std::string OutputFile::reason(SystemError failure) const {
  bool kept = !replaces_ && failure == SYSTEM_NAME_TAKEN;
  return CannotWrite(path_, kept ? "a file was made under that name meanwhile, and it is kept" : SystemReason(failure));
}

void OutputFile::Fail(SystemError error) {
  if (failed()) return;
  error_ = error != 0 ? error : SYSTEM_IO_ERROR;
  if (WriteFailureHandler handler = gOnWriteFailure.load()) handler(reason());
}

void OutputFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (failed() || size == 0) return;
  if (SystemError failure = handle_.WriteAt(offset, data, size)) Fail(failure);
}

uint64_t OutputFile::ClaimEnd(size_t size) {
  uint64_t at = end_;
  end_ += size;
  return at;
}

void OutputFile::Write(const void* data, size_t size) { WriteAt(ClaimEnd(size), data, size); }

void OutputFile::Truncate(uint64_t size) {
  if (failed()) return;
  if (SystemError failure = handle_.Truncate(size)) return Fail(failure);
  end_ = size;
}

// The file is held until after its removal, so that no sweep takes it meanwhile.
void OutputFile::Abandon() {
  if (!temporary_.empty()) {
    RemoveTemporary(temporary_);
    ForgetTemporary(temporary_);
    temporary_.clear();
  }
  handle_.Close();
}

// ---- sealing --------------------------------------------------------------------------------

// The older file's permission bits are taken just before the rename, so that the new file is
// what the user had set up, only with new bytes; a file where none was gets the bits any new
// file gets. The file stays open, and so held, until renamed.
bool OutputFile::Seal(std::string* error) {
  PathStatus older;
  SystemError failure = error_;
  if (failure == 0) failure = StatusOf(target_, &older);
  hadFile_ = older.kind == PathKind::File;
  if (failure == 0) failure = handle_.SetMode(hadFile_ ? older.mode : NewFileMode());
  if (failure == 0) failure = handle_.Sync();
  if (failure == 0) return true;
  if (!failed()) error_ = failure;
  *error = reason();
  return false;
}

SystemError OutputFile::PutInPlace() {
  return replaces_ ? RenameOver(temporary_, target_) : RenameUnlessTaken(temporary_, target_);
}

// The bytes are on the disk under the name: a failing close can no longer change them.
void OutputFile::Renamed() {
  ForgetTemporary(temporary_);
  temporary_.clear();  // the name is the output's now: nothing to remove
  handle_.Unmark(target_);
  handle_.Close();
}

// ---- the commit -----------------------------------------------------------------------------

bool CommitTogether(const std::vector<OutputFile*>& files, std::string* error) {
  bool sealed = true;
  for (OutputFile* file : files) sealed = sealed && file->Seal(error);
  size_t renamed = 0;
  if (sealed) {
    InterruptsHeld held;  // the renames are one step for Ctrl-C
    for (; renamed < files.size(); ++renamed) {
      OutputFile& file = *files[renamed];
      if (SystemError failure = file.PutInPlace()) {
        *error = file.reason(failure);
        // Once a name holds its new file, what each name holds.
        for (size_t i = 0; renamed > 0 && i < files.size(); ++i) {
          const char* holds = i < renamed ? " holds its new file" : files[i]->hadFile_ ? " holds its older file" : " is not written";
          *error += "; " + files[i]->path_ + holds;
        }
        break;
      }
      file.Renamed();
      gCommitted = true;
    }
    // A folder that cannot be synced (some network folders) still holds the renamed outputs;
    // they are only not proven durable, which no further step could change.
    for (size_t i = 0; i < renamed; ++i) SyncFolderOf(files[i]->target_);
  }
  for (size_t i = renamed; i < files.size(); ++i) files[i]->Abandon();
  return renamed == files.size();
}

}  // namespace dustweave
