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
#include "engine/binding/av_compat.h"
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
  // The versioned names are those of the headers' major versions.
  EXPECT_EQ(AVCodecBinding.FileName(), "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
  EXPECT_EQ(SwScaleBinding.FileName(), "libswscale.so." + std::to_string(LIBSWSCALE_VERSION_MAJOR));
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
  std::ofstream(Folder.File(AVUtilBinding.VersionedFileName())) << "not a library";
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
  const std::string Name = AVCodecBinding.VersionedFileName();
  std::filesystem::copy_file(TARNWICK_STUB_LIBRARY, Folder.File(Name));
  EXPECT_FALSE(LoadAVLibs(Folder.Path(), true));
  const std::string Expected = "Load function avcodec_alloc_context3@" + Name + " error: ";
  EXPECT_EQ(AVLibsLoadError().substr(0, Expected.size()), Expected) << AVLibsLoadError();
  // The loader's own text names the folder's copy, so that copy was the one loaded.
  EXPECT_NE(AVLibsLoadError().find(Folder.File(Name)), std::string::npos);
  EXPECT_EQ(AVCodecBinding.LastError, AVLibsLoadError());
  ExpectNothingLoaded();

  // A later load without the folder starts clean.
  ASSERT_TRUE(LoadAVLibs("", true)) << AVLibsLoadError();
  EXPECT_EQ(AVLibsLoadError(), "");
}

TEST_F(BindingTest, AFileThatIsNoLibraryFailsWithTheLoadText) {
  TTempFolder Folder("unloadable");
  std::ofstream(Folder.File(SwScaleBinding.VersionedFileName()))
      << "this is text, not a shared object\n";
  EXPECT_FALSE(LoadAVLibs(Folder.Path(), true));
  const std::string Expected =
      std::string("Load libraray ") + SwScaleBinding.VersionedFileName() + " error: ";
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

// A library of another version than the headers the engine was built with: another major
// version, or an older minor one, under the versioned or the plain name. The stub answers the
// version asked of it.
TEST_F(BindingTest, ALibraryOfAnotherVersionIsRefusedWithBothVersions) {
  const unsigned Util = LIBAVUTIL_VERSION_INT, Codec = LIBAVCODEC_VERSION_INT;
  struct TCase {
    TLibraryBinding *Binding;
    bool Versioned;
    unsigned Found;
    const char *Refused;  // what the error says after the name; empty: the version is fine
  };
  const TCase Cases[] = {
      {&AVUtilBinding, true, Util + (1u << 16), "is version"},
      {&AVUtilBinding, false, Util - (1u << 16), "is version"},
      {&AVCodecBinding, true, Codec - (1u << 8), "is version"},
      // A later minor version of the same major will do: the load goes on to the entry points.
      {&AVCodecBinding, true, Codec + (1u << 8), ""},
  };
  for (const TCase &Case : Cases) {
    const std::string Found = LibraryVersionText(Case.Found);
    SCOPED_TRACE(std::string(Case.Binding->VersionedFileName()) + " " + Found);
    TTempFolder Folder("other-version");
    // The plain names are taken for every library, so the set fails at the stub either way.
    const std::string Name = Case.Versioned ? Case.Binding->VersionedFileName() : "libavutil.so";
    std::filesystem::copy_file(TARNWICK_STUB_LIBRARY, Folder.File(Name));
    setenv("TARNWICK_STUB_VERSION", Found.c_str(), 1);
    EXPECT_FALSE(LoadAVLibs(Folder.Path(), Case.Versioned));
    unsetenv("TARNWICK_STUB_VERSION");
    const unsigned Compiled = Case.Binding == &AVUtilBinding ? Util : Codec;
    const std::string Expected =
        *Case.Refused
            ? "Load libraray " + Name + " error: " + Folder.File(Name) + " is version " + Found +
                  ", Tarnwick was built for " + LibraryVersionText(Compiled) + " (" +
                  std::to_string(Compiled >> 16) + "." + std::to_string((Compiled >> 8) & 0xff) +
                  " or a later " + std::to_string(Compiled >> 16) + ".x)"
            : "Load function avcodec_alloc_context3@" + Name + " error: ";
    EXPECT_EQ(AVLibsLoadError().substr(0, Expected.size()), Expected);
    ExpectNothingLoaded();
  }
}

TEST_F(BindingTest, DisplayMatrixIsReadWhereTheVersionKeepsIt) {
  LoadSystemLibraries();
  TTempFolder Folder("display-matrix");
  const std::string Rotated = Folder.File("rotated.mp4");
  // The ffmpeg program of the same release sets a rotation on a copied stream: by an input
  // option since FFmpeg 6, by the stream's "rotate" tag before.
#if LIBAVUTIL_VERSION_MAJOR >= 58
  const std::vector<std::string> Rotate = {"-display_rotation", "90", "-i",
                                           MediaFile("sample.mov")};
#else
  const std::vector<std::string> Rotate = {"-i", MediaFile("sample.mov"), "-metadata:s:v",
                                           "rotate=90"};
#endif
  std::vector<std::string> Command = {"/usr/bin/ffmpeg", "-nostdin", "-v", "error"};
  Command.insert(Command.end(), Rotate.begin(), Rotate.end());
  Command.insert(Command.end(), {"-map", "0:v", "-c", "copy", Rotated});
  const TProcessResult Made = RunProgram(Command);
  ASSERT_EQ(Made.ExitStatus, 0) << Made.Errors;
  for (const auto &[File, Rotation] :
       {std::pair{Rotated, true}, {MediaFile("sample.mov"), false}}) {
    AVFormatContext *Context = nullptr;
    ASSERT_EQ(av::avformat_open_input(&Context, File.c_str(), nullptr, nullptr), 0) << File;
    const int32_t *Matrix = av_compat::DisplayMatrix(*Context->streams[0]);
    // A quarter turn has no scale on the diagonal: only the off-diagonal terms are set.
    EXPECT_EQ(Matrix != nullptr, Rotation) << File;
    if (Matrix) {
      EXPECT_TRUE(Matrix[0] == 0 && Matrix[4] == 0 && Matrix[1] != 0) << File;
    }
    av::avformat_close_input(&Context);
  }
}

}  // namespace
