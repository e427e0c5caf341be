// The name the program was called by, without its folder ("dustweave", "dustweave64.exe"): what
// its usage line, its examples and its "see ... --help" hints call it, so that they can be typed
// as they are shown.
#pragma once

#include <string>

#include "platform/path_text.h"

namespace dustweave {

inline std::string& CalledNameSlot() {
  static std::string name = "dustweave";
  return name;
}

// From argv[0]; an empty or missing one leaves "dustweave".
inline void SetCalledName(const char* argv0) {
  std::string name = argv0 != nullptr ? FileNameOf(argv0) : "";
  if (!name.empty()) CalledNameSlot() = name;
}

inline const std::string& CalledName() { return CalledNameSlot(); }

}  // namespace dustweave
