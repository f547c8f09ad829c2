// Unloading the media libraries while a task or a probe still holds library objects: the
// unload waits for the last holder, then really unmaps the libraries (the plain build does not
// keep them mapped) and clears the bound pointers.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

#include "engine/FFMPEG/av_libs.h"
#include "engine/FFMPEG/ffmpeg.h"
#include "engine/binding/av_api.h"
#include "engine/component/av_probe.h"
#include "tests/support/test_support.h"

namespace {

// True while the process has the library mapped, whoever loaded it.
[[maybe_unused]] bool Mapped(const char *Name) {
  void *Handle = dlopen(Name, RTLD_LAZY | RTLD_NOLOAD);
  if (Handle) dlclose(Handle);
  return Handle != nullptr;
}

class LibraryHoldTest : public ::testing::Test {
 protected:
  void SetUp() override { LoadSystemLibraries(); }
  // Loaded again for whatever runs next in this process.
  void TearDown() override { LoadSystemLibraries(); }

  TTempFolder Folder{"library-hold-test"};
};

// A holder with library objects of every kind a conversion has: an input with its decoders,
// an output with its muxer, streams and encoders, or a probe's open file.
using THolder = std::shared_ptr<void>;

THolder TaskWithFiles(const std::string &Output) {
  auto Task = std::make_shared<TCustomFFmpeg>();
  Task->Reset();
  EXPECT_TRUE(Task->OpenInputFile(MediaFile("sample.mov"))) << Task->FLastErrorText;
  EXPECT_TRUE(Task->OpenOutputFile(Output)) << Task->FLastErrorText;
  EXPECT_EQ(Task->OutputFileCount(), 1);
  return Task;
}

THolder OpenProbe(const std::string &) {
  auto Probe = std::make_shared<TAVProbe>();
  EXPECT_TRUE(Probe->LoadFile(MediaFile("sample.mov"), "")) << Probe->LastError();
  return Probe;
}

TEST_F(LibraryHoldTest, UnloadingWaitsForTheLastHolderThenUnmapsAndClearsThePointers) {
  const struct {
    const char *Name;
    std::function<THolder(const std::string &)> Make;
  } Cases[] = {{"task", TaskWithFiles}, {"probe", OpenProbe}};
  for (const auto &Case : Cases) {
    SCOPED_TRACE(Case.Name);
    LoadSystemLibraries();
    THolder Holder = Case.Make(Folder.File("out.avi"));
    THolder Second = Case.Make(Folder.File("second.avi"));
    EXPECT_FALSE(UnloadAVLibs());
    EXPECT_TRUE(AVLibsLoaded());
    EXPECT_NE(av::avformat_open_input, nullptr);
    Second.reset();
    EXPECT_TRUE(AVLibsLoaded());
    ASSERT_NE(av::avcodec_free_context, nullptr);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_TRUE(Mapped("libavformat.so.59"));
#endif
    // The last holder releases its objects through the libraries, then lets them go.
    Holder.reset();
    EXPECT_FALSE(AVLibsLoaded());
    EXPECT_EQ(AVLibsHolderCount(), 0);
    EXPECT_EQ(av::avformat_open_input, nullptr);
    EXPECT_EQ(av::avcodec_free_context, nullptr);
    EXPECT_EQ(av::av_malloc, nullptr);
    // The task removed its empty outputs before the libraries went.
    EXPECT_FALSE(std::filesystem::exists(Folder.File("out.avi")));
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // Sanitizer builds keep unloaded libraries mapped; the plain build really unmaps them.
    EXPECT_FALSE(Mapped("libavformat.so.59"));
    EXPECT_FALSE(Mapped("libswscale.so.6"));
#endif
  }
}

TEST_F(LibraryHoldTest, UnloadingWithoutHoldersIsImmediate) {
  EXPECT_EQ(AVLibsHolderCount(), 0);
  EXPECT_TRUE(UnloadAVLibs());
  EXPECT_FALSE(AVLibsLoaded());
  EXPECT_EQ(av::avformat_open_input, nullptr);
}

TEST_F(LibraryHoldTest, ALoadBeforeTheLastHolderGoesCancelsTheDeferredUnload) {
  THolder Holder = TaskWithFiles(Folder.File("out.avi"));
  EXPECT_FALSE(UnloadAVLibs());
  LoadSystemLibraries();
  Holder.reset();
  EXPECT_TRUE(AVLibsLoaded());
  EXPECT_NE(av::avformat_open_input, nullptr);
  // The libraries still work after the holder went.
  THolder Probe = OpenProbe("");
  EXPECT_EQ(static_cast<TAVProbe *>(Probe.get())->StreamCount(), 2);
}

}  // namespace
