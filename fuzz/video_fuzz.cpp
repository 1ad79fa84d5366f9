// Feeds arbitrary bytes to what the recorder reads itself of a camera's
// stream: the header of an MJPEG frame, for the picture size the file's
// header needs; and to the choice of a clip's container by its file name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "video/clip_recorder.h"
#include "video/frame_size.h"

using namespace zorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const TFrameSize frame = JpegFrameSize(bytes);
  if ((frame.Width > 0) != (frame.Height > 0)) __builtin_trap();
  CarriesPicture(bytes, size > 0 && (data[0] & 1));
  bool guessed = false;
  ClipContainerFor(std::string(bytes.substr(0, 256)), guessed);
  return 0;
}
