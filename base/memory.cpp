// Heap access of the module with its allocation-failure seam, and its file close with the seam
// that tells a test of each close. The counters and the seam are module-wide and unguarded: the
// host runs one command at a time.
#include "base/memory.h"

#include <stdlib.h>
#include <string.h>

namespace {
long gAllocCount = 0;  // allocations attempted since the seam was last set
long gAllocLive = 0;
long gFailFrom = 0;    // 0: never fail
bool gFailOnlyOne = false;
void (*gFileClosed)(void*) = nullptr;  // the close seam, and what it is given
void* gFileClosedContext = nullptr;

bool SeamSaysFail() {
  ++gAllocCount;
  if (gFailFrom == 0) return false;
  return gFailOnlyOne ? gAllocCount == gFailFrom : gAllocCount >= gFailFrom;
}
}  // namespace

void* ModuleAlloc(size_t size) {
  if (SeamSaysFail()) return nullptr;
  void* block = malloc(size == 0 ? 1 : size);
  if (block != nullptr) ++gAllocLive;
  return block;
}

void* ModuleAllocZeroed(size_t count, size_t size) {
  if (SeamSaysFail()) return nullptr;
  void* block = calloc(count == 0 ? 1 : count, size == 0 ? 1 : size);
  if (block != nullptr) ++gAllocLive;
  return block;
}

void ModuleFree(void* block) {
  if (block == nullptr) return;
  --gAllocLive;
  free(block);
}

char* ModuleCopyText(const char* text) {
  size_t size = strlen(text) + 1;
  char* copy = static_cast<char*>(ModuleAlloc(size));
  if (copy != nullptr) memcpy(copy, text, size);
  return copy;
}

void ModuleAllocFailFrom(long n) {
  gAllocCount = 0;
  gFailFrom = n;
  gFailOnlyOne = false;
}

void ModuleAllocFailOnly(long n) {
  gAllocCount = 0;
  gFailFrom = n;
  gFailOnlyOne = true;
}

long ModuleAllocCount(void) { return gAllocCount; }
long ModuleAllocLive(void) { return gAllocLive; }

void ModuleCloseFile(FILE* file) {
  if (file == nullptr) return;
  fclose(file);
  if (gFileClosed != nullptr) gFileClosed(gFileClosedContext);
}

void ModuleOnFileClosed(void (*closed)(void* context), void* context) {
  gFileClosed = closed;
  gFileClosedContext = context;
}
