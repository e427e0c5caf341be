// dustweave's exit statuses, for scripts: the same numbers mean the same thing in every command.
#pragma once

namespace dustweave {

inline constexpr int EXIT_CUT_SHORT = 1;  // convert: the file ended early; its whole samples are written
inline constexpr int EXIT_FINDINGS = 1;   // inspect: the plug-in would not read the file cleanly
inline constexpr int EXIT_DECLINED = 2;   // convert: a question answered Cancel, nothing written
// convert: the run made no point (no track, every track empty, every sample left out), so no
// file is written or replaced; inspect: convert would make none of the file.
inline constexpr int EXIT_NOTHING_MADE = 3;
inline constexpr int EXIT_NOT_DONE = 10;  // an input, the module or an output failed: nothing written
inline constexpr int EXIT_MISUSE = 64;    // the command line is wrong

}  // namespace dustweave
