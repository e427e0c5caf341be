// The command run: from the chosen pfx file to finished chains in the host's mesh. Opens the
// file, begins the mesh edit, checks the header with the user, turns every track into a chain of
// points and two-point polygons (thinned by the step percent, optionally led by a one-point
// polygon), then ends the edit and closes the file.
#pragma once

#include <stdint.h>

#include "host/records.h"
#include "pfx/reader.h"

// The options of one run. The two texts are private copies of any length (null reads as empty),
// released with FreeChainOptions; the activation owns the record.
struct ChainOptions {
  char* fileName = nullptr;     // "none": no file was chosen
  int startPolygon = 0;         // only exactly 1 means on
  double stepPercent = 1.0;     // a fraction: 1.0 stands for 100 %
  char* surfaceName = nullptr;
};

void FreeChainOptions(ChainOptions* options);
inline const char* OptionText(const char* text) { return text != nullptr ? text : ""; }

// The host's message service, set by each activation before the run.
extern LWMessageFuncs* gMessages;

inline constexpr const char* MSG_CANNOT_OPEN = "could not open file";
inline constexpr const char* MSG_ENDS_EARLY = "unexpected end of pfx file";
inline constexpr const char* MSG_QUESTION_TITLE = "Error !";
inline constexpr const char* MSG_WRONG_VERSION = "wrong pfx file version (%i)\n continue ?";
inline constexpr const char* MSG_NO_PARTICLES = "no particles found\n continue ?";
inline constexpr const char* NO_FILE_CHOSEN = "none";

void RunChainCommand(LWModCommand* local, const ChainOptions* options);

// Converts one track whose head has been read: false when the file ended before its last
// sample (the sample being read then is dropped, the ones before it stay in the mesh).
bool BuildTrackChain(PfxStream* stream, MeshEditOp* edit, const ChainOptions* options,
                     const PfxHeader* header, const PfxTrack* track);

// Samples between kept ones for a track of `span`, or 0 when the track is not thinned.
int32_t StepInterval(int32_t span, double stepPercent);
