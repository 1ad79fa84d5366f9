// What the recorder reads itself of a camera's frames. The picture size of a
// JPEG frame, from its header: the muxers need a stream's width and height,
// and with no decoder linked nothing else tells them for an MJPEG stream.
// And whether an H.264/H.265 packet holds a picture: the demuxer hands out
// parameter sets on their own, which belong with the picture after them.
#pragma once

#include <string_view>

namespace zorvane {

struct TFrameSize {
  int Width = 0;
  int Height = 0;
};

// Whether an H.264 or H.265 packet in Annex B form (start codes before each
// unit) holds a coded picture, not only parameter sets, SEI or delimiters.
// A packet without a start code is taken to be a picture.
bool CarriesPicture(std::string_view annexB, bool hevc);

// The size in the frame's first start-of-frame segment; zeros when the bytes
// are not a JPEG image or end before one.
TFrameSize JpegFrameSize(std::string_view jpeg);

}  // namespace zorvane
