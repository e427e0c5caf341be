// The surface of the last polygon a writer took, and where its name was. The module passes the
// text at one address for a whole run, so the usual polygon costs one pointer comparison; a name
// at a new address is compared as text.
#pragma once

#include <cstring>
#include <string>

namespace dustweave {

class LastSurface {
 public:
  // The usual case: the same text as the last polygon's, at the same address.
  bool Is(const char* surface) const { return surface == at_; }
  // Takes `surface` as the last one; true when its name differs from the last one's (or it is
  // the first).
  bool Take(const char* surface) {
    bool same = at_ != nullptr && (surface == at_ || name_ == surface);
    at_ = surface;
    if (!same) name_ = surface;
    return !same;
  }
  bool any() const { return at_ != nullptr; }
  const std::string& name() const { return name_; }

 private:
  const char* at_ = nullptr;
  std::string name_;
};

}  // namespace dustweave
