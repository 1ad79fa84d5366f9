#include "video/video_engine.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <string_view>

namespace zorvane {

namespace {

enum class TPartKind : unsigned char { pkDemuxer, pkMuxer, pkParser, pkBitstreamFilter, pkProtocol };

struct TVideoPart {
  TPartKind Kind;
  const char* Name;
  AVCodecID Codec;  // parsers are looked up by the codec they split
};

constexpr TVideoPart VideoParts[] = {
    {TPartKind::pkDemuxer, "rtsp", AV_CODEC_ID_NONE},
    {TPartKind::pkDemuxer, "sdp", AV_CODEC_ID_NONE},
    {TPartKind::pkMuxer, "mp4", AV_CODEC_ID_NONE},
    {TPartKind::pkMuxer, "matroska", AV_CODEC_ID_NONE},
    {TPartKind::pkParser, "h264", AV_CODEC_ID_H264},
    {TPartKind::pkParser, "hevc", AV_CODEC_ID_HEVC},
    {TPartKind::pkParser, "aac", AV_CODEC_ID_AAC},
    {TPartKind::pkParser, "mjpeg", AV_CODEC_ID_MJPEG},
    {TPartKind::pkBitstreamFilter, "extract_extradata", AV_CODEC_ID_NONE},
    {TPartKind::pkBitstreamFilter, "aac_adtstoasc", AV_CODEC_ID_NONE},
    {TPartKind::pkProtocol, "tcp", AV_CODEC_ID_NONE},
    {TPartKind::pkProtocol, "udp", AV_CODEC_ID_NONE},
    {TPartKind::pkProtocol, "rtp", AV_CODEC_ID_NONE},
    {TPartKind::pkProtocol, "http", AV_CODEC_ID_NONE},
};

const char* KindName(TPartKind Kind) {
  switch (Kind) {
    case TPartKind::pkDemuxer: return "demuxer";
    case TPartKind::pkMuxer: return "muxer";
    case TPartKind::pkParser: return "parser";
    case TPartKind::pkBitstreamFilter: return "bsf";
    case TPartKind::pkProtocol: return "protocol";
  }
  return "?";
}

bool HasParser(AVCodecID Codec) {
  void* opaque = nullptr;
  while (const AVCodecParser* parser = av_parser_iterate(&opaque)) {
    for (int id : parser->codec_ids) {
      if (id == Codec) return true;
    }
  }
  return false;
}

// Protocols are listed by name only; input and output list the same ones here.
bool HasProtocol(std::string_view Name) {
  void* opaque = nullptr;
  while (const char* name = avio_enum_protocols(&opaque, 0)) {
    if (Name == name) return true;
  }
  return false;
}

bool HasPart(const TVideoPart& Part) {
  switch (Part.Kind) {
    case TPartKind::pkDemuxer: return av_find_input_format(Part.Name) != nullptr;
    case TPartKind::pkMuxer: return av_guess_format(Part.Name, nullptr, nullptr) != nullptr;
    case TPartKind::pkParser: return HasParser(Part.Codec);
    case TPartKind::pkBitstreamFilter: return av_bsf_get_by_name(Part.Name) != nullptr;
    case TPartKind::pkProtocol: return HasProtocol(Part.Name);
  }
  return false;
}

std::string VersionText(unsigned Version) {
  return std::to_string(AV_VERSION_MAJOR(Version)) + "." + std::to_string(AV_VERSION_MINOR(Version)) +
         "." + std::to_string(AV_VERSION_MICRO(Version));
}

}  // namespace

std::string MissingVideoParts() {
  std::string missing;
  for (const TVideoPart& part : VideoParts) {
    if (HasPart(part)) continue;
    if (!missing.empty()) missing += ", ";
    missing += KindName(part.Kind);
    missing += ' ';
    missing += part.Name;
  }
  return missing;
}

std::string VideoEngineVersion() {
  return std::string("FFmpeg ") + av_version_info() + ", libavformat " + VersionText(avformat_version());
}

}  // namespace zorvane
