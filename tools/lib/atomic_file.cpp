// The atomic output file and the commit of several together. Divisions: writing; the commit.
#include "tools/lib/atomic_file.h"

#include <atomic>
#include <cerrno>

#include "tools/lib/path_text.h"
#include "tools/lib/temp_files.h"

namespace dustweave {

namespace {

std::atomic<WriteFailureHandler> gOnWriteFailure{nullptr};

}  // namespace

void SetWriteFailureHandler(WriteFailureHandler handler) { gOnWriteFailure.store(handler); }

// ---- writing --------------------------------------------------------------------------------

AtomicFile::~AtomicFile() { Abandon(); }

bool AtomicFile::Create(const std::string& path, std::string* error) {
  Abandon();
  path_ = path;
  temporary_ = TemporaryNameFor(path);
  end_ = 0;
  errorNumber_ = 0;
  RegisterTemporary(temporary_);  // before it exists, so that an interrupt never misses it
  if (int failure = handle_.Create(temporary_)) {
    ForgetTemporary(temporary_);
    temporary_.clear();
    errorNumber_ = failure;
    *error = reason();
    return false;
  }
  return true;
}

std::string AtomicFile::reason() const { return "cannot write " + path_ + ": " + SystemReason(errorNumber_); }

void AtomicFile::Fail(int errorNumber) {
  if (failed()) return;
  errorNumber_ = errorNumber != 0 ? errorNumber : EIO;
  if (WriteFailureHandler handler = gOnWriteFailure.load()) handler(reason());
}

void AtomicFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (failed() || size == 0) return;
  if (!handle_.open()) return Fail(EBADF);
  if (int failure = handle_.WriteAt(offset, data, size)) Fail(failure);
}

uint64_t AtomicFile::ClaimEnd(size_t size) {
  uint64_t at = end_;
  end_ += size;
  return at;
}

void AtomicFile::Write(const void* data, size_t size) { WriteAt(ClaimEnd(size), data, size); }

void AtomicFile::Truncate(uint64_t size) {
  if (failed()) return;
  if (int failure = handle_.Truncate(size)) return Fail(failure);
  end_ = size;
}

void AtomicFile::Abandon() {
  handle_.Close();
  if (temporary_.empty()) return;
  RemoveFile(temporary_);
  ForgetTemporary(temporary_);
  temporary_.clear();
}

// ---- the commit -----------------------------------------------------------------------------

bool AtomicFile::Seal(std::string* error) {
  if (!failed() && !handle_.open()) Fail(EBADF);
  if (!failed()) {
    if (int failure = handle_.Sync()) Fail(failure);
  }
  if (int failure = handle_.Close(); failure != 0) Fail(failure);
  if (failed()) *error = reason();
  return !failed();
}

void AtomicFile::Renamed() {
  ForgetTemporary(temporary_);
  temporary_.clear();  // the name is the output's now: nothing to remove
}

namespace {

// The older files under the names, kept aside while several outputs are renamed, so that a
// failure halfway can give every name its older file back.
struct Aside {
  std::string name;  // empty: there was no older file
};

void RemoveAsides(std::vector<Aside>& asides) {
  for (Aside& aside : asides) {
    if (aside.name.empty()) continue;
    RemoveFile(aside.name);
    ForgetTemporary(aside.name);
  }
}

// Keeps aside each older file under the names of `files`; false with a reason when one cannot.
bool KeepOlderFiles(const std::vector<AtomicFile*>& files, std::vector<Aside>& asides, std::string* error) {
  for (AtomicFile* file : files) {
    asides.emplace_back();
    if (KindOf(file->path()) != PathKind::File) continue;
    std::string name = TemporaryNameFor(file->path());
    RegisterTemporary(name);
    if (int failure = KeepAside(file->path(), name)) {
      ForgetTemporary(name);
      *error = "cannot write " + file->path() + ": " + SystemReason(failure);
      return false;
    }
    asides.back().name = name;
  }
  return true;
}

// Gives the first `count` names their older files back (or none, when they had none).
void PutBack(const std::vector<AtomicFile*>& files, std::vector<Aside>& asides, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (asides[i].name.empty()) {
      RemoveFile(files[i]->path());
    } else if (RenameOver(asides[i].name, files[i]->path()) == 0) {
      ForgetTemporary(asides[i].name);
      asides[i].name.clear();
    }
  }
}

}  // namespace

bool CommitTogether(const std::vector<AtomicFile*>& files, std::string* error) {
  auto abandonAll = [&] {
    for (AtomicFile* file : files) file->Abandon();
    return false;
  };
  for (AtomicFile* file : files) {
    if (!file->Seal(error)) return abandonAll();
  }
  InterruptsHeld held;  // the renames below are one step
  std::vector<Aside> asides;
  bool several = files.size() > 1;  // one rename over a name is atomic by itself
  if (several && !KeepOlderFiles(files, asides, error)) {
    PutBack(files, asides, asides.size());
    RemoveAsides(asides);
    return abandonAll();
  }
  for (size_t i = 0; i < files.size(); ++i) {
    if (int failure = RenameOver(files[i]->temporary(), files[i]->path())) {
      *error = "cannot write " + files[i]->path() + ": " + SystemReason(failure);
      if (several) PutBack(files, asides, i + 1);
      for (size_t j = 0; j < i; ++j) files[j]->Renamed();
      RemoveAsides(asides);
      return abandonAll();
    }
  }
  for (AtomicFile* file : files) {
    file->Renamed();
    // A folder that cannot be synced (some network folders) still holds the renamed outputs;
    // they are only not proven durable, which no further step could change.
    SyncFolderOf(file->path());
  }
  RemoveAsides(asides);
  return true;
}

}  // namespace dustweave
