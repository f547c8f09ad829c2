// Unloading the media libraries while a task or a probe still holds library objects: the
// unload waits for the last holder, then really unmaps the libraries (the plain build does not
// keep them mapped) and clears the bound pointers.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_bindings.h"
#include "engine/component/av_probe.h"
#include "tests/support/test_support.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool UnloadKeepsMapped = true;
#else
constexpr bool UnloadKeepsMapped = false;
#endif

// True while the process has the library mapped, whoever loaded it.
bool Mapped(const char *Name) {
  void *Handle = dlopen(Name, RTLD_LAZY | RTLD_NOLOAD);
  if (Handle) dlclose(Handle);
  return Handle != nullptr;
}

class LibraryHoldTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadSystemLibraries(); }
  void TearDown() override { LoadSystemLibraries(); }  // for whatever runs next

  TTempFolder Folder{"library-hold-test"};
};

// Holders with library objects of every kind a conversion has.
using THolder = std::shared_ptr<void>;

THolder TaskWithFiles(const std::string &Output) {
  auto Task = std::make_shared<TCustomFFmpeg>();
  Task->Reset();
  EXPECT_TRUE(Task->OpenInputFile(MediaFile("sample.mov"))) << Task->FLastErrorText;
  EXPECT_TRUE(Task->OpenOutputFile(Output)) << Task->FLastErrorText;
  return Task;
}

THolder OpenProbe(const std::string &) {
  auto Probe = std::make_shared<TAVProbe>();
  EXPECT_TRUE(Probe->LoadFile(MediaFile("sample.mov"), "")) << Probe->LastError();
  return Probe;
}

TEST_F(LibraryHoldTest, UnloadingWaitsForTheLastHolderThenUnmapsAndClearsThePointers) {
  for (const auto &[Name, Make] : {std::pair{"task", std::function(TaskWithFiles)},
                                   std::pair{"probe", std::function(OpenProbe)}}) {
    SCOPED_TRACE(Name);
    LoadSystemLibraries();
    THolder Holder = Make(Folder.File("out.avi"));
    THolder Second = Make(Folder.File("second.avi"));
    EXPECT_FALSE(UnloadAVLibs());
    Second.reset();
    EXPECT_TRUE(AVLibsLoaded());
    ASSERT_NE(av::avformat_open_input, nullptr);
    EXPECT_TRUE(UnloadKeepsMapped || Mapped(AVFormatBinding.VersionedFileName()));
    // The last holder releases its objects through the libraries, then lets them go.
    Holder.reset();
    EXPECT_FALSE(AVLibsLoaded());
    EXPECT_EQ(av::avformat_open_input, nullptr);
    EXPECT_EQ(av::avcodec_free_context, nullptr);
    EXPECT_FALSE(std::filesystem::exists(Folder.File("out.avi")));
    EXPECT_TRUE(UnloadKeepsMapped || !(Mapped(AVFormatBinding.VersionedFileName()) ||
                                       Mapped(SwScaleBinding.VersionedFileName())));
  }
}

TEST_F(LibraryHoldTest, UnloadingWithoutHoldersIsImmediate) {
  EXPECT_TRUE(UnloadAVLibs());
  EXPECT_FALSE(AVLibsLoaded());
  EXPECT_EQ(av::avformat_open_input, nullptr);
}

TEST_F(LibraryHoldTest, ALoadBeforeTheLastHolderGoesCancelsTheDeferredUnload) {
  THolder Holder = TaskWithFiles(Folder.File("out.avi"));
  EXPECT_FALSE(UnloadAVLibs());
  LoadSystemLibraries();
  Holder.reset();
  THolder Probe = OpenProbe("");
  EXPECT_EQ(static_cast<TAVProbe *>(Probe.get())->StreamCount(), 2);
}

}  // namespace
