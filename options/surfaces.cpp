// Building and freeing the surface name list from the host's surface service.
#include "options/surfaces.h"

#include "base/memory.h"

char** gSurfaceNames = nullptr;

namespace {

size_t CountSurfaces(LWSurfaceFuncs* surfaces) {
  size_t count = 0;
  for (LWSurfaceID id = surfaces->first(); id != nullptr; id = surfaces->next(id)) ++count;
  return count;
}

int BuildDefaultList() {
  gSurfaceNames = static_cast<char**>(ModuleAllocZeroed(2, sizeof(char*)));
  if (gSurfaceNames == nullptr) return 0;
  gSurfaceNames[0] = ModuleCopyText(DEFAULT_SURFACE);
  if (gSurfaceNames[0] == nullptr) {
    FreeSurfaceNameList();
    return 0;
  }
  return 1;
}

}  // namespace

int BuildSurfaceNameList(LWSurfaceFuncs* surfaces) {
  size_t count = CountSurfaces(surfaces);
  if (count == 0) return BuildDefaultList();
  if (count > static_cast<size_t>(INT32_MAX) - 1) return 0;
  gSurfaceNames = static_cast<char**>(ModuleAllocZeroed(count + 1, sizeof(char*)));
  if (gSurfaceNames == nullptr) return 0;
  LWSurfaceID id = surfaces->first();
  for (size_t i = 0; i < count; ++i) {
    const char* name = id != nullptr ? surfaces->name(id) : nullptr;
    gSurfaceNames[i] = name != nullptr ? ModuleCopyText(name) : nullptr;
    if (gSurfaceNames[i] == nullptr) {
      FreeSurfaceNameList();
      return 0;
    }
    id = surfaces->next(id);
  }
  return static_cast<int>(count);
}

void FreeSurfaceNameList() {
  if (gSurfaceNames == nullptr) return;
  for (char** name = gSurfaceNames; *name != nullptr; ++name) ModuleFree(*name);
  ModuleFree(gSurfaceNames);
  gSurfaceNames = nullptr;
}

int SurfaceNameCount() {
  int count = 0;
  if (gSurfaceNames != nullptr) {
    while (gSurfaceNames[count] != nullptr) ++count;
  }
  return count;
}
