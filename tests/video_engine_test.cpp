// The FFmpeg the build links: every part the recorder needs, and its headers
// and libraries from the same build.
#include "video/video_engine.h"

extern "C" {
#include <libavformat/version.h>
#include <libavutil/macros.h>
}

#include <gtest/gtest.h>

namespace {

TEST(VideoEngine, LinkedFFmpegHasEveryPartTheRecorderNeeds) {
  EXPECT_EQ(zorvane::MissingVideoParts(), "");
}

TEST(VideoEngine, VersionIsTheLinkedLibraryOfTheHeadersBuiltAgainst) {
  const std::string version = zorvane::VideoEngineVersion();
  EXPECT_EQ(version.rfind("FFmpeg ", 0), 0u) << version;
  const std::string headers = "libavformat " AV_STRINGIFY(LIBAVFORMAT_VERSION);
  EXPECT_NE(version.find(headers), std::string::npos) << version << " vs " << headers;
}

}  // namespace
