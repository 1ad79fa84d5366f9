// The picture size of a JPEG frame, read from its header: the muxers need a
// stream's width and height, and with no decoder linked nothing else tells
// them for an MJPEG stream.
#pragma once

#include <string_view>

namespace zorvane {

struct TFrameSize {
  int Width = 0;
  int Height = 0;
};

// The size in the frame's first start-of-frame segment; zeros when the bytes
// are not a JPEG image or end before one.
TFrameSize JpegFrameSize(std::string_view jpeg);

}  // namespace zorvane
