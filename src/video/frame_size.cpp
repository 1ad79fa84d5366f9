#include "video/frame_size.h"

#include <cstdint>

namespace zorvane {

namespace {

unsigned Byte(std::string_view bytes, size_t at) { return static_cast<uint8_t>(bytes[at]); }

unsigned BigEndian16(std::string_view bytes, size_t at) {
  return Byte(bytes, at) << 8 | Byte(bytes, at + 1);
}

// Start-of-frame markers: C0–CF but for DHT (C4), JPG (C8) and DAC (CC).
bool IsStartOfFrame(unsigned marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, with no length after them.
bool StandsAlone(unsigned marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);
}

}  // namespace

TFrameSize JpegFrameSize(std::string_view jpeg) {
  if (jpeg.size() < 4 || Byte(jpeg, 0) != 0xFF || Byte(jpeg, 1) != 0xD8) return {};
  size_t at = 2;
  // Each step: a marker (any 0xFF fill before it), then its segment.
  while (at + 1 < jpeg.size()) {
    if (Byte(jpeg, at) != 0xFF) return {};
    const unsigned marker = Byte(jpeg, at + 1);
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    at += 2;
    if (StandsAlone(marker)) continue;
    // Entropy-coded data follows the start of scan: no frame header came.
    if (marker == 0xDA || marker == 0xD9 || at + 2 > jpeg.size()) return {};
    const unsigned length = BigEndian16(jpeg, at);
    if (length < 2 || at + length > jpeg.size()) return {};
    if (IsStartOfFrame(marker)) {
      // Precision (1 byte), height, width (2 bytes each).
      if (length < 7) return {};
      const TFrameSize size{static_cast<int>(BigEndian16(jpeg, at + 5)),
                            static_cast<int>(BigEndian16(jpeg, at + 3))};
      return size.Width > 0 && size.Height > 0 ? size : TFrameSize{};
    }
    at += length;
  }
  return {};
}

bool CarriesPicture(std::string_view annexB, bool hevc) {
  bool startCode = false;
  for (size_t at = 0; at + 2 < annexB.size(); ++at) {
    if (annexB[at] != 0 || annexB[at + 1] != 0 || annexB[at + 2] != 1) continue;
    startCode = true;
    if (at + 3 == annexB.size()) break;
    const unsigned header = Byte(annexB, at + 3);
    // Coded slices: H.264 types 1 to 5; H.265 types below 32.
    const unsigned type = hevc ? (header >> 1) & 0x3F : header & 0x1F;
    if (hevc ? type < 32 : (type >= 1 && type <= 5)) return true;
    at += 3;
  }
  return !startCode;
}

}  // namespace zorvane
