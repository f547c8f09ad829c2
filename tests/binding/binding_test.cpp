// Loading and binding the media libraries: from the system, from a library folder first,
// the failure texts, and what a failed load leaves behind.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cfenv>
#include <filesystem>
#include <fstream>

#include "engine/FFMPEG/av_libs.h"
#include "engine/binding/av_api.h"
#include "engine/binding/av_bindings.h"
#include "tests/support/test_support.h"

namespace {

TLibraryBinding *const AllBindings[] = {&AVUtilBinding, &SwResampleBinding, &SwScaleBinding,
                                        &AVCodecBinding, &AVFormatBinding};

void ExpectNothingLoaded() {
  EXPECT_FALSE(AVLibsLoaded());
  for (const TLibraryBinding *Binding : AllBindings) {
    EXPECT_FALSE(Binding->Loaded()) << Binding->FileName();
    EXPECT_EQ(Binding->Handle, nullptr) << Binding->FileName();
  }
}

class BindingTest : public ::testing::Test {
 protected:
  void SetUp() override { UnloadAVLibs(); }
  void TearDown() override { UnloadAVLibs(); }
};

TEST_F(BindingTest, LoadsAllFiveFromTheSystemAndBindsEveryEntryPoint) {
  ASSERT_TRUE(LoadAVLibs("", true)) << AVLibsLoadError();
  EXPECT_TRUE(AVLibsLoaded());
  EXPECT_EQ(AVLibsLoadError(), "");
  EXPECT_TRUE(AVUtilLibLoaded());
  EXPECT_TRUE(SwResampleLibLoaded());
  EXPECT_TRUE(SwScaleLibLoaded());
  EXPECT_TRUE(AVCodecLibLoaded());
  EXPECT_TRUE(AVFormatLibLoaded());
  EXPECT_STREQ(AVCodecBinding.FileName(), "libavcodec.so.59");
  // The bound functions are the real ones: they answer like the libraries.
  EXPECT_NE(av::avcodec_find_encoder_by_name("mpeg4"), nullptr);
  EXPECT_NE(av::av_guess_format(nullptr, "x.avi", nullptr), nullptr);
  EXPECT_EQ(av::av_get_pix_fmt("yuv420p"), AV_PIX_FMT_YUV420P);
  EXPECT_EQ(AVLogLevel, av::av_log_get_level());
}

TEST_F(BindingTest, SecondLoadReturnsAtOnceWithoutTouchingAnything) {
  ASSERT_TRUE(LoadAVLibs("", true));
  void *const CodecHandle = AVCodecBinding.Handle;
  const auto Directory = std::filesystem::current_path();
  TTempFolder Folder("second-load");
  std::ofstream(Folder.File("libavutil.so.57")) << "not a library";
  // Loaded already: the broken copy in the folder is not even looked at.
  EXPECT_TRUE(LoadAVLibs(Folder.Path(), true));
  EXPECT_EQ(AVCodecBinding.Handle, CodecHandle);
  EXPECT_EQ(std::filesystem::current_path(), Directory);
  EXPECT_EQ(AVLibsLoadError(), "");
}

TEST_F(BindingTest, PlainNamesAreTheUnversionedFiles) {
  ASSERT_TRUE(LoadAVLibs("", false)) << AVLibsLoadError();
  EXPECT_STREQ(AVUtilBinding.FileName(), "libavutil.so");
  EXPECT_STREQ(AVFormatBinding.FileName(), "libavformat.so");
  EXPECT_STREQ(SwResampleBinding.FileName(), "libswresample.so");
}

TEST_F(BindingTest, FolderCopyIsPreferredAndAMissingEntryPointUnloadsTheWholeSet) {
  TTempFolder Folder("folder-first");
  std::filesystem::copy_file(TARNWICK_STUB_LIBRARY, Folder.File("libavcodec.so.59"));
  EXPECT_FALSE(LoadAVLibs(Folder.Path(), true));
  const std::string Expected = "Load function avcodec_alloc_context3@libavcodec.so.59 error: ";
  EXPECT_EQ(AVLibsLoadError().substr(0, Expected.size()), Expected) << AVLibsLoadError();
  // The loader's own text names the folder's copy, so that copy was the one loaded.
  EXPECT_NE(AVLibsLoadError().find(Folder.File("libavcodec.so.59")), std::string::npos);
  EXPECT_EQ(AVCodecBinding.LastError, AVLibsLoadError());
  ExpectNothingLoaded();

  // A later load without the folder starts clean.
  ASSERT_TRUE(LoadAVLibs("", true)) << AVLibsLoadError();
  EXPECT_EQ(AVLibsLoadError(), "");
}

TEST_F(BindingTest, AFileThatIsNoLibraryFailsWithTheLoadText) {
  TTempFolder Folder("unloadable");
  std::ofstream(Folder.File("libswscale.so.6")) << "this is text, not a shared object\n";
  EXPECT_FALSE(LoadAVLibs(Folder.Path(), true));
  const std::string Expected = "Load libraray libswscale.so.6 error: ";
  EXPECT_EQ(AVLibsLoadError().substr(0, Expected.size()), Expected) << AVLibsLoadError();
  EXPECT_GT(AVLibsLoadError().size(), Expected.size());  // the loader's reason follows
  // The libraries before it in the order had loaded; none stays loaded.
  ExpectNothingLoaded();
}

TEST_F(BindingTest, FloatingPointExceptionsAreMaskedWhileLoadedAndRestoredAfter) {
  feenableexcept(FE_DIVBYZERO);
  ASSERT_TRUE(LoadAVLibs("", true));
  EXPECT_EQ(fegetexcept(), 0);
  UnloadAVLibs();
  EXPECT_EQ(fegetexcept(), FE_DIVBYZERO);
  fedisableexcept(FE_ALL_EXCEPT);
}

TEST_F(BindingTest, UnloadClearsThePointersAndTheState) {
  ASSERT_TRUE(LoadAVLibs("", true));
  UnloadAVLibs();
  ExpectNothingLoaded();
  EXPECT_EQ(av::avformat_open_input, nullptr);
  EXPECT_EQ(av::av_malloc, nullptr);
}

}  // namespace
