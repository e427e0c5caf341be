// Every allocation the module makes, made to fail one at a time through its allocation seam: the
// 1st, then the 2nd, and so on until the operation completes without meeting the failure. Each
// failure gives the module's documented result for it and leaves no allocation behind.
#include <gtest/gtest.h>

#include <cstring>

#include "base/memory.h"
#include "chain/command.h"
#include "chain_run.h"
#include "options/panel.h"
#include "options/surfaces.h"
#include "pfx/reader.h"
#include "standin/host.h"
#include "temp_file.h"

extern "C" ModuleDescriptor _mod_descrip;

namespace {

using standin::EditState;

// Runs attempt(n) with the n-th allocation failing, for n = 1, 2, ... until an attempt makes
// fewer than n allocations (it completed without meeting the failure); checks that each attempt
// leaves as many live allocations as it found. Returns the number of failures tried.
template <typename Attempt>
long FailEachAllocation(Attempt attempt) {
  for (long n = 1;; ++n) {
    SCOPED_TRACE(testing::Message() << "allocation " << n << " fails");
    long live = ModuleAllocLive();
    ModuleAllocFailOnly(n);
    attempt(n);
    bool met = ModuleAllocCount() >= n;
    ModuleAllocFailOnly(0);
    EXPECT_EQ(ModuleAllocLive(), live) << "allocations left behind";
    if (!met) return n - 1;
  }
}

ActivateFunc* Activation() {
  for (ServerRecord* server = _mod_descrip.serverDefs; server->name != nullptr; ++server) {
    if (std::strcmp(server->name, SERVER_NAME) == 0) return server->activate;
  }
  return nullptr;
}

pfxwrite::File SmallFile() {
  pfxwrite::File file;
  file.indexLimit = 10;
  for (int i = 0; i < 3; ++i) file.tracks.push_back(pfxwrite::RuledTrack(0, 10, 0, 10, 100.0f * i));
  return file;
}

class AllocationFailure : public ::testing::Test {
 protected:
  void TearDown() override {
    ModuleAllocFailOnly(0);
    FreeSurfaceNameList();
  }
};

// ---- the surface name list ---------------------------------------------------------------

TEST_F(AllocationFailure, SurfaceNameListYieldsZeroAndFreesWhatItBuilt) {
  for (size_t surfaces : {0u, 1u, 3u}) {
    standin::HostScript script;
    for (size_t i = 0; i < surfaces; ++i) script.surfaces.push_back(std::string(1, char('A' + i)));
    standin::Host host(script);
    int names = surfaces == 0 ? 1 : static_cast<int>(surfaces);
    long tried = FailEachAllocation([&](long n) {
      int count = BuildSurfaceNameList(host.surfaceFuncs());
      if (ModuleAllocCount() >= n) {
        EXPECT_EQ(count, 0);
        EXPECT_EQ(gSurfaceNames, nullptr);
      } else {
        EXPECT_EQ(count, names);
        FreeSurfaceNameList();
      }
    });
    EXPECT_EQ(tried, 1 + names) << "the array and one copy per name";
  }
}

// ---- the options panel ---------------------------------------------------------------------

TEST_F(AllocationFailure, AnOptionsTextThatCannotBeCopiedIsCancel) {
  standin::HostScript script;
  script.surfaces = {"A", "B"};
  script.file = "/some/file.pfx";
  script.pick = 1;
  standin::Host host(script);
  ASSERT_EQ(BuildSurfaceNameList(host.surfaceFuncs()), 2);
  long tried = FailEachAllocation([&](long n) {
    ChainOptions options;
    int result = RunOptionsPanel(host.panelFuncs(), &options);
    EXPECT_TRUE(host.panel->destroyed());
    if (n <= 2) {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(options.fileName, nullptr);
      EXPECT_EQ(options.surfaceName, nullptr);
    } else {
      EXPECT_NE(result, 0);
      EXPECT_STREQ(options.surfaceName, "B");
    }
    FreeChainOptions(&options);
  });
  EXPECT_EQ(tried, 2) << "the file name and the surface name";
}

// ---- the whole activation ------------------------------------------------------------------

// Each allocation of a whole activation failing in turn, with a host whose OK is 1 and with hosts
// whose OK is another non-zero value.
TEST_F(AllocationFailure, EveryAllocationOfAnActivationFailsAsDocumented) {
  TempFile file(SmallFile());
  standin::HostScript script;
  script.surfaces = {"A", "B"};
  script.file = file.path();
  script.step = 0.5;
  script.startPolygon = true;
  ActivateFunc* activate = Activation();
  ASSERT_NE(activate, nullptr);

  standin::Host reference(script);
  {
    FileClosesNoted closes(reference);
    ASSERT_EQ(activate(COMMAND_INTERFACE_VERSION, reference.global(), reference.command(), nullptr),
              0);
  }
  ASSERT_EQ(reference.mesh.points.size(), 3u * 6);

  const long listAllocations = 3;  // the array and two names
  const long readerBuffer = listAllocations + 3;  // after the file name and the surface name
  for (int ok : {1, 2, -1, 0x7fffffff}) {
    SCOPED_TRACE(testing::Message() << "OK is " << ok);
    script.okValue = ok;
    long tried = FailEachAllocation([&](long n) {
      standin::Host host(script);
      FileClosesNoted closes(host);
      int result = activate(COMMAND_INTERFACE_VERSION, host.global(), host.command(), nullptr);
      EXPECT_TRUE(host.boxes.empty());
      if (n <= listAllocations) {
        EXPECT_EQ(result, 2);
        EXPECT_EQ(host.panelsCreated, 0);
        EXPECT_EQ(host.mesh.editBegins, 0);
      } else if (n < readerBuffer) {
        EXPECT_EQ(result, 0);  // as Cancel: the panel was shown, nothing was run
        EXPECT_TRUE(host.panel->destroyed());
        EXPECT_EQ(host.mesh.editBegins, 0);
      } else {
        // Without the reader's buffer, or with nothing failing: the same chains.
        EXPECT_EQ(result, 0);
        EXPECT_EQ(host.mesh.points, reference.mesh.points);
        ASSERT_EQ(host.mesh.polygons.size(), reference.mesh.polygons.size());
        for (size_t i = 0; i < host.mesh.polygons.size(); ++i) {
          EXPECT_EQ(host.mesh.polygons[i].points, reference.mesh.polygons[i].points);
          EXPECT_EQ(host.mesh.polygons[i].surface, "A");
        }
        EXPECT_EQ(host.mesh.edit, EditState::Ended);
        EXPECT_EQ(host.calls(), reference.calls());
      }
    });
    EXPECT_EQ(tried, readerBuffer);
  }
}

// ---- the reader ----------------------------------------------------------------------------

TEST_F(AllocationFailure, WithoutItsBufferTheReaderGivesTheSameRunOnACutFile) {
  std::vector<uint8_t> bytes = pfxwrite::Encode(SmallFile());
  bytes.resize(bytes.size() - 17);
  TempFile file(bytes);
  auto run = [&](bool starved) {
    standin::Host host;
    gMessages = host.messages();
    ChainOptions options;
    options.fileName = ModuleCopyText(file.path().c_str());
    options.stepPercent = 0.3;
    if (starved) ModuleAllocFailOnly(1);
    RunChainCommand(host.command(), &options);
    ModuleAllocFailOnly(0);
    FreeChainOptions(&options);
    std::vector<std::string> boxes;
    for (const auto& box : host.boxes) boxes.push_back(box.text);
    return std::make_pair(host.mesh.points, boxes);
  };
  auto buffered = run(false);
  EXPECT_EQ(buffered.second, std::vector<std::string>{MSG_ENDS_EARLY});
  EXPECT_EQ(run(true), buffered);
}

// A declined mesh edit, with and without the reader's buffer: the file is closed, the buffer
// freed, nothing shown.
TEST_F(AllocationFailure, ADeclinedEditClosesTheFileAndFreesTheBuffer) {
  TempFile file(SmallFile());
  ChainOptions options;
  options.fileName = ModuleCopyText(file.path().c_str());
  long tried = FailEachAllocation([&](long) {
    standin::HostScript script;
    script.declineEdit = true;
    standin::Host host(script);
    FileClosesNoted closes(host);
    gMessages = host.messages();
    RunChainCommand(host.command(), &options);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"editBegin declined", "close"}));
    EXPECT_TRUE(host.boxes.empty());
  });
  FreeChainOptions(&options);
  EXPECT_EQ(tried, 1) << "the reader's buffer";
}

// Every ReadBlock that fails, for want of memory or of bytes, leaves nothing allocated.
TEST_F(AllocationFailure, EveryFailingReadBlockLeavesNothingBehind) {
  TempFile file(std::vector<uint8_t>(10, 0x5A));
  long tried = FailEachAllocation([&](long) {
    PfxStream stream;
    ASSERT_TRUE(OpenPfxStream(&stream, file.path().c_str()));
    SetReadPosition(0);
    EXPECT_EQ(ReadBlock(&stream, 12), nullptr);  // two bytes short
    EXPECT_EQ(GetReadPosition(), READER_FAILED);
    ClosePfxStream(&stream);
  });
  EXPECT_EQ(tried, 2) << "the reader's buffer and the block";
}

TEST_F(AllocationFailure, ReadBlockThatCannotAllocateFailsWithoutConsuming) {
  std::vector<uint8_t> bytes;
  for (int32_t v = 1; v <= 4; ++v) pfxwrite::PutInt(bytes, v);
  TempFile file(bytes);
  PfxStream stream;
  ASSERT_TRUE(OpenPfxStream(&stream, file.path().c_str()));
  SetReadPosition(0);
  long live = ModuleAllocLive();
  ModuleAllocFailOnly(1);
  EXPECT_EQ(ReadBlock(&stream, 8), nullptr);
  ModuleAllocFailOnly(0);
  EXPECT_EQ(GetReadPosition(), READER_FAILED);
  EXPECT_EQ(ModuleAllocLive(), live);
  SetReadPosition(0);
  EXPECT_EQ(ReadInt(&stream), 1);
  ClosePfxStream(&stream);
}

}  // namespace
