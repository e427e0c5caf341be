// A part of the binary chunk: spooled to its scratch file, or placed in the output; the move
// from one to the other; and putting the whole part in its place at the end.
#include "writers/spooled_part.h"

namespace dustweave {

void SpooledPart::Start(const std::string& outputPath) {
  Drop();
  outputPath_ = outputPath;
  target_ = nullptr;
  behind_ = nullptr;
  base_ = 0;
}

void SpooledPart::Place(OutputFile& out, BlockWriter& behind, uint64_t at) {
  target_ = &out;
  behind_ = &behind;
  base_ = at;
}

void SpooledPart::Unplace() {
  OutputFile& out = *target_;
  uint64_t placedAt = base_;
  behind_->Drain();
  if (!OpenScratch()) return;
  if (SystemError failure = scratch_.handle().CopyFrom(out.handle(), placedAt, handedOn_, 0)) scratch_.Fail(failure);
}

bool SpooledPart::WriteTo(OutputFile& out, BlockWriter& behind, uint64_t at) {
  if (target_ == &scratch_) {
    scratchBehind_->Drain();
    if (scratch_.failed()) {
      out.Fail(scratch_.error());
    } else if (SystemError failure = out.handle().CopyFrom(scratch_.handle(), 0, handedOn_, at)) {
      out.Fail(failure);
    }
    scratch_.Abandon();
  }
  behind.Write(at + handedOn_, block_, capacity_, used_);
  handedOn_ += used_;
  used_ = 0;
  return !out.failed();
}

void SpooledPart::Drop() {
  scratchBehind_.reset();
  scratch_.Abandon();
  used_ = 0;
  handedOn_ = 0;
}

bool SpooledPart::OpenScratch() {
  std::string ignored;  // a failure stays with the scratch file, and reaches the output
  scratch_.Create(outputPath_, &ignored);
  scratchBehind_ = std::make_unique<BlockWriter>(scratch_);
  target_ = &scratch_;
  behind_ = scratchBehind_.get();
  base_ = 0;
  return !scratch_.failed();
}

// Once a block, so kept out of Put.
[[gnu::noinline]] void SpooledPart::HandOn() {
  if (target_ == nullptr) OpenScratch();
  behind_->Write(base_ + handedOn_, block_, capacity_, used_);
  handedOn_ += used_;
  used_ = 0;
}

}  // namespace dustweave
