// The command run and chain building. Divisions: options and messages; the header and its two
// questions; one track's chain (the per-sample path); the run from open to close.
#include "chain/command.h"

#include <stdio.h>
#include <string.h>

#include "base/memory.h"

LWMessageFuncs* gMessages = nullptr;

void FreeChainOptions(ChainOptions* options) {
  ModuleFree(options->fileName);
  ModuleFree(options->surfaceName);
  options->fileName = nullptr;
  options->surfaceName = nullptr;
}

namespace {

enum class RunEnd { Finished, Cancelled, EndedEarly };

void ShowError(const char* text) {
  if (gMessages != nullptr) gMessages->error(text, nullptr);
}

bool AskToContinue(const char* text) {
  return gMessages != nullptr && gMessages->okCancel(MSG_QUESTION_TITLE, text, nullptr) != 0;
}

bool ReaderFailed() { return gReaderPosition == READER_FAILED; }

// ---- the header and its two questions ------------------------------------------------------

RunEnd ReadCheckedHeader(PfxStream* stream, PfxHeader* header) {
  SetReadPosition(0);
  header->version = ReadInt(stream);
  header->particleCount = ReadInt(stream);
  header->indexLimit = ReadInt(stream);
  if (ReaderFailed()) return RunEnd::EndedEarly;
  if (header->version != PFX_VERSION) {
    char message[128];  // the longest text, for version -2147483648, takes 48 bytes
    snprintf(message, sizeof message, MSG_WRONG_VERSION, static_cast<int>(header->version));
    if (!AskToContinue(message)) return RunEnd::Cancelled;
  }
  if (header->particleCount < 1 && !AskToContinue(MSG_NO_PARTICLES)) return RunEnd::Cancelled;
  return RunEnd::Finished;
}

}  // namespace

// ---- one track's chain ---------------------------------------------------------------------

int32_t StepInterval(int32_t span, double stepPercent) {
  if (!(span > 0 && stepPercent > 0.0 && stepPercent < 1.0)) return 0;
  // Each step rounded to double, whatever the processor's own precision.
  volatile double product = static_cast<double>(span) * stepPercent;
  volatile double quotient = static_cast<double>(span) / product;
  if (quotient >= 2147483648.0) return INT32_MAX;
  return static_cast<int32_t>(quotient);
}

bool BuildTrackChain(PfxStream* stream, MeshEditOp* edit, const ChainOptions* options,
                     const PfxHeader* header, const PfxTrack* track) {
  SampleWalk walk = BeginSampleWalk(*track, header->indexLimit);
  const int32_t interval = StepInterval(walk.span, options->stepPercent);
  const bool thinning = interval > 0;
  const bool startPolygons = options->startPolygon == 1;
  const char* surface = OptionText(options->surfaceName);
  LWPntID chain[2] = {nullptr, nullptr};  // previous, current: passed to the host as a pair
  int32_t countdown = 0;
  int32_t j;
  while (NextSample(walk, &j)) {
    double position[3];
    if (!ReadSample(stream, position)) return false;
    --countdown;
    if (thinning && countdown > 0 && j != walk.span) continue;
    if (j <= 0 && startPolygons) {
      // A chain starts afresh here, led by a one-point polygon.
      chain[0] = edit->addPoint(edit->state, position);
      if (chain[0] != nullptr) edit->addFace(edit->state, surface, 1, chain);
      chain[1] = chain[0];
    } else {
      chain[1] = edit->addPoint(edit->state, position);
      if (chain[0] != nullptr && chain[1] != nullptr) edit->addFace(edit->state, surface, 2, chain);
    }
    chain[0] = chain[1];
    countdown = interval;
  }
  return true;
}

// ---- the run from open to close ------------------------------------------------------------

namespace {

RunEnd ConvertTracks(PfxStream* stream, MeshEditOp* edit, const ChainOptions* options,
                     const PfxHeader* header) {
  for (int32_t i = 0; i < header->particleCount; ++i) {
    PfxTrack track;
    track.firstIndex = ReadIntSticky(stream);
    track.lastIndex = ReadIntSticky(stream);
    track.resumeIndex = ReadIntSticky(stream);
    for (float& ignored : track.ignored) ignored = ReadFloat(stream);
    if (ReaderFailed()) return RunEnd::EndedEarly;
    if (!BuildTrackChain(stream, edit, options, header, &track)) return RunEnd::EndedEarly;
  }
  return RunEnd::Finished;
}

}  // namespace

void RunChainCommand(LWModCommand* local, const ChainOptions* options) {
  const char* fileName = OptionText(options->fileName);
  if (strcmp(fileName, NO_FILE_CHOSEN) == 0) return;
  PfxStream stream;
  if (!OpenPfxStream(&stream, fileName)) {
    ShowError(MSG_CANNOT_OPEN);
    return;
  }
  MeshEditOp* edit = local->editBegin(0, 0, 0);
  if (edit == nullptr) {
    ClosePfxStream(&stream);
    return;
  }
  PfxHeader header;
  RunEnd end = ReadCheckedHeader(&stream, &header);
  if (end == RunEnd::Finished) end = ConvertTracks(&stream, edit, options, &header);
  // The edit is ended in every case, Cancel included: the host is never left with it open.
  edit->done(edit->state, 0, 0);
  ClosePfxStream(&stream);
  if (end == RunEnd::EndedEarly) ShowError(MSG_ENDS_EARLY);
}
