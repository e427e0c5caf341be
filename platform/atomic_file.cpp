// The atomic output file and the commit of several. Divisions: writing; sealing; the commit.
#include "platform/atomic_file.h"

#include <atomic>

#include "platform/path_queries.h"
#include "platform/temp_files.h"

namespace dustweave {

namespace {

std::atomic<WriteFailureHandler> gOnWriteFailure{nullptr};

}  // namespace

void SetWriteFailureHandler(WriteFailureHandler handler) { gOnWriteFailure.store(handler); }

std::string CannotWrite(const std::string& path, const std::string& reason) { return "cannot write " + path + ": " + reason; }

// ---- writing --------------------------------------------------------------------------------

AtomicFile::~AtomicFile() { Abandon(); }

bool AtomicFile::Create(const std::string& path, std::string* error) {
  Abandon();
  path_ = path;
  end_ = 0;
  error_ = 0;
  hadFile_ = false;
  if (SystemError failure = ResolveLinks(path, &target_)) {
    error_ = failure;
    *error = reason();
    return false;
  }
  temporary_ = TemporaryNameFor(target_);
  RegisterTemporary(temporary_);  // before it exists, so that an interrupt never misses it
  if (SystemError failure = handle_.Create(temporary_)) {
    ForgetTemporary(temporary_);
    temporary_.clear();
    error_ = failure;
    *error = reason();
    return false;
  }
  return true;
}

std::string AtomicFile::reason() const { return CannotWrite(path_, SystemReason(error_)); }

void AtomicFile::Fail(SystemError error) {
  if (failed()) return;
  error_ = error != 0 ? error : SYSTEM_IO_ERROR;
  if (WriteFailureHandler handler = gOnWriteFailure.load()) handler(reason());
}

void AtomicFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (failed() || size == 0) return;
  if (!handle_.open()) return Fail(SYSTEM_NOT_OPEN);
  if (SystemError failure = handle_.WriteAt(offset, data, size)) Fail(failure);
}

uint64_t AtomicFile::ClaimEnd(size_t size) {
  uint64_t at = end_;
  end_ += size;
  return at;
}

void AtomicFile::Write(const void* data, size_t size) { WriteAt(ClaimEnd(size), data, size); }

void AtomicFile::Truncate(uint64_t size) {
  if (failed()) return;
  if (SystemError failure = handle_.Truncate(size)) return Fail(failure);
  end_ = size;
}

void AtomicFile::Abandon() {
  handle_.Close();
  if (temporary_.empty()) return;
  RemoveOwnFile(temporary_);
  ForgetTemporary(temporary_);
  temporary_.clear();
}

// ---- sealing --------------------------------------------------------------------------------

// The older file's permission bits are taken just before the rename, so that the new file is
// what the user had set up, only with new bytes.
bool AtomicFile::Seal(std::string* error) {
  auto refuse = [&](SystemError failure) {
    if (!failed()) error_ = failure;
    *error = reason();
    handle_.Close();
    return false;
  };
  if (failed()) return refuse(error_);
  if (!handle_.open()) return refuse(SYSTEM_NOT_OPEN);
  PathStatus older;
  if (SystemError failure = StatusOf(target_, &older)) return refuse(failure);
  hadFile_ = older.kind == PathKind::File;
  if (hadFile_) {
    if (SystemError failure = handle_.SetMode(older.mode)) return refuse(failure);
  }
  if (SystemError failure = handle_.Sync()) return refuse(failure);
  if (SystemError failure = handle_.IdentityOf(&identity_)) return refuse(failure);
  if (SystemError failure = handle_.Close()) return refuse(failure);
  return true;
}

void AtomicFile::Renamed() {
  ForgetTemporary(temporary_);
  temporary_.clear();  // the name is the output's now: nothing to remove
}

// ---- the commit -----------------------------------------------------------------------------

// One commit of several files: their older files kept aside under second names, the renames in
// order, and on a failure the names renamed so far given back what they held.
class Commit {
 public:
  explicit Commit(const std::vector<AtomicFile*>& files) : files_(files), asides_(files.size()) {}

  bool Run(std::string* error) {
    for (AtomicFile* file : files_) {
      if (!file->Seal(error)) return AbandonFrom(0);
    }
    InterruptsHeld held;  // the steps below are one
    if (files_.size() > 1) KeepOlderFilesAside();
    for (size_t i = 0; i < files_.size(); ++i) {
      if (SystemError failure = RenameOver(files_[i]->temporary_, files_[i]->target_)) {
        *error = CannotWrite(files_[i]->path_, SystemReason(failure));
        GiveBack(i, error);
        DropUnrenamedAsides(i, error);
        SyncFolders(i);
        return AbandonFrom(i);
      }
      files_[i]->Renamed();
    }
    SyncFolders(files_.size());
    DropAsides();
    return true;
  }

 private:
  // A second name of an older file; `refused` says why there is none when its file system
  // refused it.
  struct Aside {
    std::string name;
    SystemError refused = 0;
  };

  void KeepOlderFilesAside() {
    for (size_t i = 0; i < files_.size(); ++i) {
      if (!files_[i]->hadFile_) continue;
      std::string name = TemporaryNameFor(files_[i]->target_);
      RegisterTemporary(name);
      if (SystemError failure = LinkTo(files_[i]->target_, name)) {
        ForgetTemporary(name);
        asides_[i].refused = failure;
      } else {
        asides_[i].name = name;
      }
    }
  }

  // Gives the names before `failed` what they held: the older file back, or nothing. What cannot
  // be given back is added to the reason.
  void GiveBack(size_t failed, std::string* error) {
    for (size_t i = 0; i < failed; ++i) {
      AtomicFile& file = *files_[i];
      Aside& aside = asides_[i];
      if (!aside.name.empty()) {
        if (PutBack(aside.name, file.target_)) {
          ForgetTemporary(aside.name);
          aside.name.clear();
          continue;
        }
        ForgetTemporary(aside.name);  // the only copy of the older file: no interrupt removes it
        *error += "; " + file.path_ + " holds its new file, and its older one is kept as " + aside.name;
        aside.name.clear();
      } else if (!file.hadFile_) {
        if (!RemoveIfOurs(file)) *error += "; " + file.path_ + " holds its new file";
      } else {
        *error += "; " + file.path_ + " holds its new file (its older one could not be kept aside: " +
                  SystemReason(aside.refused) + ")";
      }
    }
  }

  // A rename that fails once is tried again: this one gives a user back their file.
  static bool PutBack(const std::string& aside, const std::string& target) {
    return RenameOver(aside, target) == 0 || RenameOver(aside, target) == 0;
  }

  // Removes the new file under a name that had none, while it is still the one this commit put
  // there.
  static bool RemoveIfOurs(AtomicFile& file) {
    PathStatus status;
    if (StatusOf(file.target_, &status) != 0 || status.kind != PathKind::File || !(status.identity == file.identity_)) {
      return false;
    }
    return TryRemove(file.target_);
  }

  // After the commit: every name holds its new file, and its older file's second name goes.
  void DropAsides() {
    for (Aside& aside : asides_) {
      if (aside.name.empty()) continue;
      RemoveOwnFile(aside.name);
      ForgetTemporary(aside.name);
      aside.name.clear();
    }
  }

  // After a failed rename: the names from `first` on were not renamed, and the second names of
  // their older files go while the names still hold those files. One that does not is kept, and
  // said.
  void DropUnrenamedAsides(size_t first, std::string* error) {
    for (size_t i = first; i < files_.size(); ++i) {
      Aside& aside = asides_[i];
      if (aside.name.empty()) continue;
      if (SameFile(aside.name, files_[i]->target_)) {
        RemoveOwnFile(aside.name);
      } else {
        *error += "; the older " + files_[i]->path_ + " is kept as " + aside.name;
      }
      ForgetTemporary(aside.name);
      aside.name.clear();
    }
  }

  void SyncFolders(size_t count) {
    // A folder that cannot be synced (some network folders) still holds the renamed outputs;
    // they are only not proven durable, which no further step could change.
    for (size_t i = 0; i < count; ++i) SyncFolderOf(files_[i]->target_);
  }

  bool AbandonFrom(size_t first) {
    for (size_t i = first; i < files_.size(); ++i) files_[i]->Abandon();
    return false;
  }

  const std::vector<AtomicFile*>& files_;
  std::vector<Aside> asides_;
};

bool CommitTogether(const std::vector<AtomicFile*>& files, std::string* error) { return Commit(files).Run(error); }

}  // namespace dustweave
