// The module as a Windows host's loader reads it: LoadLibrary, GetProcAddress("_mod_descrip"),
// then the descriptor's bytes at the offsets that host uses at this pointer size (three 32-bit
// words, then three pointers), read without host/records.h so that the header is checked too.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kPointer = sizeof(void*);
// The pointers follow the three words, aligned to their own size: 12 on 32-bit, 16 on 64-bit.
constexpr size_t kStartupAt = kPointer == 8 ? 16 : 12;
constexpr size_t kShutdownAt = kStartupAt + kPointer;
constexpr size_t kServersAt = kShutdownAt + kPointer;
constexpr size_t kServerRecordSize = 4 * kPointer;  // class, name, activate, tag

using StartupFn = void*(__cdecl*)();
using ShutdownFn = void(__cdecl*)(void*);
using GlobalFn = void*(__cdecl*)(const char*, int);
using ActivateFn = int(__cdecl*)(int, GlobalFn, void*, void*);

uint32_t WordAt(const unsigned char* bytes, size_t offset) {
  uint32_t word;
  std::memcpy(&word, bytes + offset, sizeof word);
  return word;
}

void* PointerAt(const unsigned char* bytes, size_t offset) {
  void* pointer;
  std::memcpy(&pointer, bytes + offset, sizeof pointer);
  return pointer;
}

template <typename Fn>
Fn FunctionAt(const unsigned char* bytes, size_t offset) {
  return reinterpret_cast<Fn>(PointerAt(bytes, offset));
}

class LoadedModule : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* path = std::getenv("DUSTWEAVE_MODULE");
    ASSERT_NE(path, nullptr) << "DUSTWEAVE_MODULE names the module to load";
    module_ = LoadLibraryA(path);
    ASSERT_NE(module_, nullptr) << "LoadLibrary(" << path << ") failed, error " << GetLastError();
    descriptor_ = reinterpret_cast<const unsigned char*>(GetProcAddress(module_, "_mod_descrip"));
    ASSERT_NE(descriptor_, nullptr) << "no export named _mod_descrip";
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  // True when the address lies in the module's own image, where code and constants must be.
  bool InModule(const void* address) const {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(address, &info, sizeof info) == 0) return false;
    return info.AllocationBase == static_cast<void*>(module_);
  }

  const unsigned char* ServerRecord(size_t index) const {
    return static_cast<const unsigned char*>(PointerAt(descriptor_, kServersAt)) +
           index * kServerRecordSize;
  }

  HMODULE module_ = nullptr;
  const unsigned char* descriptor_ = nullptr;
};

int gLookups = 0;
void* __cdecl CountingLookup(const char*, int) {
  ++gLookups;
  return nullptr;
}

TEST_F(LoadedModule, DescriptorOpensWithTheThreeWords) {
  EXPECT_EQ(WordAt(descriptor_, 0), 0x04121994u);
  EXPECT_EQ(WordAt(descriptor_, 4), 3u);
  EXPECT_EQ(WordAt(descriptor_, 8), 0x300u);
}

TEST_F(LoadedModule, DescriptorPointersLeadIntoTheModule) {
  EXPECT_TRUE(InModule(PointerAt(descriptor_, kStartupAt)));
  EXPECT_TRUE(InModule(PointerAt(descriptor_, kShutdownAt)));
  EXPECT_TRUE(InModule(PointerAt(descriptor_, kServersAt)));
}

TEST_F(LoadedModule, ServerListHoldsTheCommandThenAnAllNullRecord) {
  const unsigned char* server = ServerRecord(0);
  auto* className = static_cast<const char*>(PointerAt(server, 0));
  auto* name = static_cast<const char*>(PointerAt(server, kPointer));
  ASSERT_TRUE(InModule(className));
  ASSERT_TRUE(InModule(name));
  EXPECT_EQ(std::string(className), "CommandSequence");
  EXPECT_EQ(std::string(name), "mirod_dustweave");
  EXPECT_TRUE(InModule(PointerAt(server, 2 * kPointer)));
  EXPECT_EQ(PointerAt(server, 3 * kPointer), nullptr);

  const unsigned char* end = ServerRecord(1);
  for (size_t member = 0; member < 4; ++member) {
    EXPECT_EQ(PointerAt(end, member * kPointer), nullptr) << "end record member " << member;
  }
}

TEST_F(LoadedModule, StartupAndShutdownCallAsTheHostCallsThem) {
  void* serverData = FunctionAt<StartupFn>(descriptor_, kStartupAt)();
  EXPECT_EQ(serverData, reinterpret_cast<void*>(uintptr_t{4}));
  FunctionAt<ShutdownFn>(descriptor_, kShutdownAt)(serverData);
}

TEST_F(LoadedModule, ActivationAnswersThroughTheServerRecord) {
  auto activate = FunctionAt<ActivateFn>(ServerRecord(0), 2 * kPointer);
  gLookups = 0;
  EXPECT_EQ(activate(2, CountingLookup, nullptr, nullptr), 1);
  EXPECT_EQ(gLookups, 0) << "another interface version looks up nothing";
  int local[16] = {};  // never reached: the first service is missing
  EXPECT_EQ(activate(3, CountingLookup, local, nullptr), 2);
  EXPECT_GE(gLookups, 1);
}

}  // namespace
