// What the recorder needs of the FFmpeg it is linked with: libavformat's
// RTSP demuxer, the MP4 and Matroska muxers, the parsers and bitstream
// filters that remuxing a camera's H.264, H.265, AAC and MJPEG streams takes,
// and the network protocols RTSP runs over. The build configures FFmpeg with
// exactly these; asking the linked libraries themselves catches a configure
// line that drops one.
#pragma once

#include <string>

namespace zorvane {

// The parts the recorder needs and the linked FFmpeg lacks, as
// "kind name" separated by ", " (e.g. "muxer matroska, parser hevc");
// empty when nothing is missing.
std::string MissingVideoParts();

// The linked FFmpeg's version and libavformat's, e.g.
// "FFmpeg 5.1.9, libavformat 59.27.100", for the log.
std::string VideoEngineVersion();

}  // namespace zorvane
