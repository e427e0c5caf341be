// Modules the stand-in host must refuse, one per build: FAKE_NO_DESCRIPTOR exports no
// `_mod_descrip`, FAKE_WRONG_SYNC has another synchronisation word, FAKE_WRONG_SERVER has no
// CommandSequence server named mirod_dustweave, FAKE_NULL_STARTUP fails to start.
#include "host/records.h"

#if defined(_WIN32)
#define FAKE_EXPORT __declspec(dllexport)
#else
#define FAKE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

void* Startup() {
#if defined(FAKE_NULL_STARTUP)
  return nullptr;
#else
  return reinterpret_cast<void*>(uintptr_t{4});
#endif
}

void Shutdown(void*) {}

int Activate(int, GlobalFunc*, void*, void*) { return 0; }

ServerRecord gServers[] = {
#if defined(FAKE_WRONG_SERVER)
    {"CommandSequence", "another_command", Activate, nullptr},
    {"MeshDataEdit", "mirod_dustweave", Activate, nullptr},
#else
    {"CommandSequence", "mirod_dustweave", Activate, nullptr},
#endif
    {nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" {
#if defined(FAKE_NO_DESCRIPTOR)
FAKE_EXPORT ModuleDescriptor other_descriptor = {MOD_SYNC, MOD_SYSTEM_VERSION, MOD_MACHINE, Startup, Shutdown, gServers};
#elif defined(FAKE_WRONG_SYNC)
FAKE_EXPORT ModuleDescriptor _mod_descrip = {0x19941204u, MOD_SYSTEM_VERSION, MOD_MACHINE, Startup, Shutdown, gServers};
#else
FAKE_EXPORT ModuleDescriptor _mod_descrip = {MOD_SYNC, MOD_SYSTEM_VERSION, MOD_MACHINE, Startup, Shutdown, gServers};
#endif
}
