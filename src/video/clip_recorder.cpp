#include "video/clip_recorder.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdarg>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/mathematics.h>
#include <libavutil/mem.h>
}

#include "common/error.h"
#include "common/text.h"
#include "log/log_writer.h"
#include "platform/part_file.h"
#include "platform/threads.h"
#include "video/frame_size.h"
#include "video/messages.h"

namespace zorvane {

namespace {

using TClock = std::chrono::steady_clock;

// The output's write buffer; the muxers flush it after every packet.
constexpr int kOutputBufferSize = 64 * 1024;
// Fragments of an MP4 clip are cut at keyframes and at least this often
// (microseconds): what a crash can take from the end of a clip.
constexpr const char* kFragmentDuration = "1000000";
constexpr const char* kClusterDuration = "1000";  // milliseconds
// A jump in the camera's time stamps longer than this, either way, is a
// discontinuity (the camera restarted or stepped its clock), not a gap in
// the picture.
constexpr int64_t kLargestGapUs = 5 * int64_t{AV_TIME_BASE};
// Time stamps beyond this (microseconds, about 36 000 years) are garbage:
// the packet is taken as having none, and no sum of them can overflow.
constexpr int64_t kLargestTimeUs = int64_t{1} << 60;
// A clip whose camera's time stamps stand still or crawl still ends: this
// long past its longest time by the clock.
constexpr std::chrono::seconds kLongestOverrun{10};
// The units a camera sends apart from its pictures are kept for the next
// picture up to this size; more are dropped (a camera that sends nothing
// else would grow them without end).
constexpr size_t kMostCarriedBytes = size_t{1} << 20;
// The pieces of one picture are joined up to this size; a camera whose time
// stamp stands still would otherwise join its whole stream into one.
constexpr int kMostPictureBytes = 32 << 20;
// Whatever the camera announces, no single allocation of the library's
// grows past this: a 32-bit client must not be run out of memory by one
// answer or one frame.
constexpr size_t kLargestLibraryAllocation = size_t{256} << 20;
// How far the streams of a clip may drift apart before the muxer writes
// what it holds (an audio track announced and never sent would hold the
// picture back this long).
constexpr int64_t kInterleaveUs = AV_TIME_BASE;

const AVRational kMicroseconds{1, AV_TIME_BASE};

// Percent-encodes all but RFC 3986's unreserved characters: the RTSP client
// decodes the user information before it uses it.
std::string PercentEncoded(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The host and port of an RTSP address, as the library reads it.
std::string HostAndPort(const char* url) {
  char host[256] = "";
  int port = -1;
  av_url_split(nullptr, 0, nullptr, 0, host, sizeof host, &port, nullptr, 0, url);
  return std::string(host) + ":" + std::to_string(port);
}

std::string LibraryErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = "";
  av_strerror(code, text, sizeof text);
  return text;
}

// Matroska holds an audio format of its own, or any that has a WAVE tag
// (G.711 among them) in its ACM form.
bool MatroskaTakes(const AVFormatContext* out, AVCodecID audio) {
  const AVCodecTag* const wave[] = {avformat_get_riff_audio_tags(), nullptr};
  return avformat_query_codec(out->oformat, audio, FF_COMPLIANCE_NORMAL) == 1 ||
         av_codec_get_tag(wave, audio) != 0;
}

// Why the library was told to give up waiting.
enum class TInterrupt { None, Stop, Silence, Redirect };

}  // namespace

struct TClipRecorder::TShared {
  std::mutex Lock;
  std::condition_variable Changed;
  // The start has its answer: recording, or StartFailure. What comes after
  // is read once the recording's thread has ended.
  bool Answered = false;
  std::string StartFailure;
  TClipOutcome Outcome;
  std::atomic<bool> StopAsked{false};
};

namespace {

class TRecording;
// The recording whose thread this is: the library's log lines go to it.
thread_local TRecording* tRecording = nullptr;

// One clip, from the connection to the finished file, on its own thread.
class TRecording {
 public:
  TRecording(const TClipSettings& settings, std::shared_ptr<TClipRecorder::TShared> shared)
      : FSettings(settings), FShared(std::move(shared)) {}
  ~TRecording() { Release(); }

  void Run() noexcept;
  void NoteLibraryLine(int level, const std::string& line);

  static int Interrupted(void* opaque) {
    return static_cast<TRecording*>(opaque)->Check() != TInterrupt::None;
  }
  static int WriteOutput(void* opaque, uint8_t* buffer, int size);
  static int64_t SeekOutput(void* opaque, int64_t offset, int whence);

 private:
  TInterrupt Check();
  void Open();
  void AwaitKeyframe();
  void CreateOutput();
  // Takes one packet of the camera's; false when the clip has ended. The
  // pieces of one picture (the demuxer splits parameter sets from the
  // picture they come with) are joined into one packet first.
  bool Copy(AVPacket* packet);
  // Writes one packet into the file; false when a limit or a failure ends
  // the clip.
  bool Write(AVPacket* packet);
  void Record();
  void Finish(std::string failure);
  void Started(const std::string& failure);
  void ChooseStreams();
  void FindPictureSize(const AVPacket* keyframe, AVCodecParameters* out);
  void FindExtradata(const AVPacket* keyframe, AVCodecParameters* out);
  // A time stamp of the camera's in microseconds; none when it has none, or
  // one out of all measure.
  static std::optional<int64_t> CameraTime(int64_t stamp, AVRational base);
  // The reason a library call failed with code, in the user's words.
  std::string FailureOf(int code, const std::string& step) const;
  std::string Masked(std::string text) const;
  void Release() noexcept;

  TClipSettings FSettings;
  std::shared_ptr<TClipRecorder::TShared> FShared;
  // The address opened, and its host: a redirect changes the one, and is
  // refused when it changes the other. Only the set-up can redirect.
  std::string FUrl;
  std::string FHost;
  std::string FRedirectedTo;
  TInterrupt FInterrupt = TInterrupt::None;
  TClock::time_point FDeadline;
  TClock::time_point FLastPictureAt;
  std::string FLibraryLine;

  AVFormatContext* FIn = nullptr;
  AVFormatContext* FOut = nullptr;
  AVPacket* FKeyframe = nullptr;
  AVPacket* FSetup = nullptr;
  AVPacket* FPending = nullptr;
  // Units of the next picture that came before it in packets of their own.
  std::string FCarried;
  TPartFile FPart;
  std::string FOutputFailure;
  uint64_t FBytes = 0;
  bool FHeaderWritten = false;

  int FVideoIn = -1;
  int FAudioIn = -1;
  // Per input stream: its output stream (-1: dropped), its time base in the
  // clip, the last time stamp written.
  std::vector<int> FOutIndex;
  std::vector<int64_t> FLastDts;
  int64_t FStartUs = AV_NOPTS_VALUE;
  int64_t FShiftUs = 0;
  int64_t FLastVideoUs = 0;
  int64_t FLastCameraUs = 0;
  uint64_t FVideoFrames = 0;
};

TInterrupt TRecording::Check() {
  if (FInterrupt != TInterrupt::None) return FInterrupt;
  if (FShared->StopAsked) {
    FInterrupt = TInterrupt::Stop;
  } else if (TClock::now() > FDeadline) {
    FInterrupt = TInterrupt::Silence;
  } else if (!FSettings.Login.empty() && !FHeaderWritten && FIn && FIn->url && FUrl != FIn->url) {
    FUrl = FIn->url;
    if (const std::string to = HostAndPort(FIn->url); to != FHost) {
      // The camera sent the client elsewhere: it would take the login there.
      FRedirectedTo = to;
      FInterrupt = TInterrupt::Redirect;
    }
  }
  return FInterrupt;
}

std::optional<int64_t> TRecording::CameraTime(int64_t stamp, AVRational base) {
  if (stamp == AV_NOPTS_VALUE) return std::nullopt;
  const int64_t us = av_rescale_q(stamp, base, kMicroseconds);
  if (us < -kLargestTimeUs || us > kLargestTimeUs) return std::nullopt;
  return us;
}

std::string TRecording::Masked(std::string text) const {
  return WithoutSecrets(std::move(text), FSettings.Login, FSettings.Password);
}

void TRecording::NoteLibraryLine(int level, const std::string& line) {
  if (level > AV_LOG_WARNING || line.empty()) return;
  // Errors win over warnings: the last error is the likely reason.
  if (level <= AV_LOG_ERROR || FLibraryLine.empty()) FLibraryLine = Masked(line);
}

std::string TRecording::FailureOf(int code, const std::string& step) const {
  const std::string& where = FSettings.ShownUrl;
  switch (FInterrupt) {
    case TInterrupt::Stop:
      return msg::kStoppedBeforeFirstFrame;
    case TInterrupt::Silence:
      return msg::CameraSilent(step,
                               std::chrono::duration_cast<std::chrono::seconds>(
                                   FHeaderWritten ? FSettings.SilenceLimit : FSettings.StartLimit)
                                   .count(),
                               where);
    case TInterrupt::Redirect:
      return msg::StreamRedirected(FRedirectedTo, where);
    case TInterrupt::None:
      break;
  }
  std::string reason;
  if (code == AVERROR_HTTP_UNAUTHORIZED) {
    reason = msg::kRtspUnauthorized;
  } else if (code == AVERROR_HTTP_FORBIDDEN) {
    reason = msg::kRtspForbidden;
  } else if (code == AVERROR_HTTP_NOT_FOUND) {
    reason = msg::kRtspNotFound;
  } else if (code == AVERROR_EOF) {
    reason = msg::kCameraClosedConnection;
  } else if (code == AVERROR(ECONNREFUSED)) {
    reason = msg::kCameraRefusedConnection;
  } else if (code == AVERROR(ETIMEDOUT)) {
    reason = msg::kCameraNoAnswer;
  } else if (code == AVERROR(EHOSTUNREACH) || code == AVERROR(ENETUNREACH)) {
    reason = msg::kCameraUnreachable;
  } else if (code == AVERROR_PROTOCOL_NOT_FOUND) {
    reason = msg::kStreamSchemeNotRecorded;
  } else {
    reason = msg::WithLibraryLine(LibraryErrorText(code), FLibraryLine);
  }
  return msg::StepFailed(step, reason, where);
}

void TRecording::Open() {
  std::string url = FSettings.Url;
  if (!FSettings.Login.empty()) {
    const size_t authority = url.find("://");
    if (authority == std::string::npos) throw Error(msg::InvalidStreamUrl(FSettings.ShownUrl));
    url.insert(authority + 3,
               PercentEncoded(FSettings.Login) + ":" + PercentEncoded(FSettings.Password) + "@");
  }
  FUrl = url;
  FHost = HostAndPort(url.c_str());
  FIn = avformat_alloc_context();
  if (!FIn) throw Error(msg::kNoMemoryForClip);
  FIn->interrupt_callback = {&TRecording::Interrupted, this};
  AVDictionary* options = nullptr;
  // Interleaved in the RTSP connection: UDP loses packets on busy networks.
  av_dict_set(&options, "rtsp_transport", "tcp", 0);
  av_dict_set_int(&options, "timeout",
                  std::chrono::duration_cast<std::chrono::microseconds>(FSettings.SilenceLimit).count(),
                  0);
  av_dict_set(&options, "allowed_media_types", FSettings.KeepAudio ? "video+audio" : "video", 0);
  FDeadline = TClock::now() + FSettings.StartLimit;
  const int code = avformat_open_input(&FIn, url.c_str(), av_find_input_format("rtsp"), &options);
  av_dict_free(&options);
  if (code < 0) throw Error(FailureOf(code, msg::kStreamNotGiven));
}

void TRecording::ChooseStreams() {
  FOutIndex.assign(FIn->nb_streams, -1);
  FLastDts.assign(FIn->nb_streams, AV_NOPTS_VALUE);
  for (unsigned i = 0; i < FIn->nb_streams; ++i) {
    const AVCodecParameters* par = FIn->streams[i]->codecpar;
    if (par->codec_type == AVMEDIA_TYPE_VIDEO && FVideoIn < 0) FVideoIn = static_cast<int>(i);
    if (par->codec_type == AVMEDIA_TYPE_AUDIO && FAudioIn < 0 && FSettings.KeepAudio)
      FAudioIn = static_cast<int>(i);
  }
  if (FVideoIn < 0) throw Error(msg::NoVideoInStream(FSettings.ShownUrl));
  const AVCodecParameters* video = FIn->streams[FVideoIn]->codecpar;
  if (video->codec_id == AV_CODEC_ID_NONE)
    throw Error(msg::VideoFormatNotRecorded(FSettings.ShownUrl));
}

void TRecording::AwaitKeyframe() {
  FKeyframe = av_packet_alloc();
  FSetup = av_packet_alloc();
  FPending = av_packet_alloc();
  if (!FKeyframe || !FSetup || !FPending) throw Error(msg::kNoMemoryForClip);
  for (;;) {
    const int code = av_read_frame(FIn, FKeyframe);
    if (code < 0) throw Error(FailureOf(code, msg::kNoFirstFrame));
    if (FKeyframe->stream_index == FVideoIn && (FKeyframe->flags & AV_PKT_FLAG_KEY)) {
      if (FKeyframe->pts != AV_NOPTS_VALUE || FKeyframe->dts != AV_NOPTS_VALUE) return;
      // Parameter sets sent ahead of the first picture, with no time of
      // their own: kept for the file's header, not written as a frame.
      av_packet_unref(FSetup);
      av_packet_move_ref(FSetup, FKeyframe);
      continue;
    }
    av_packet_unref(FKeyframe);
  }
}

void TRecording::FindPictureSize(const AVPacket* keyframe, AVCodecParameters* out) {
  if (out->width > 0 && out->height > 0) return;
  if (out->codec_id == AV_CODEC_ID_MJPEG) {
    const TFrameSize size =
        JpegFrameSize(std::string_view(reinterpret_cast<const char*>(keyframe->data), keyframe->size));
    out->width = size.Width;
    out->height = size.Height;
  } else if (AVCodecParserContext* parser = av_parser_init(out->codec_id)) {
    // The parser reads the sequence header from the set-up's extradata, or
    // from the keyframe itself, as a decoder would.
    AVCodecContext* context = avcodec_alloc_context3(nullptr);
    if (context && avcodec_parameters_to_context(context, out) >= 0) {
      parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
      uint8_t* frame = nullptr;
      int frameSize = 0;
      av_parser_parse2(parser, context, &frame, &frameSize, keyframe->data, keyframe->size,
                       keyframe->pts, keyframe->dts, 0);
      out->width = parser->width > 0 ? parser->width : context->width;
      out->height = parser->height > 0 ? parser->height : context->height;
    }
    avcodec_free_context(&context);
    av_parser_close(parser);
  }
}

void TRecording::FindExtradata(const AVPacket* keyframe, AVCodecParameters* out) {
  if (out->extradata_size > 0 ||
      (out->codec_id != AV_CODEC_ID_H264 && out->codec_id != AV_CODEC_ID_HEVC))
    return;
  // The camera sends its parameter sets inside the stream only: the file's
  // header takes them from the first keyframe.
  const AVBitStreamFilter* filter = av_bsf_get_by_name("extract_extradata");
  AVBSFContext* bsf = nullptr;
  AVPacket* packet = av_packet_clone(keyframe);
  if (filter && packet && av_bsf_alloc(filter, &bsf) >= 0 &&
      avcodec_parameters_copy(bsf->par_in, out) >= 0 && av_bsf_init(bsf) >= 0 &&
      av_bsf_send_packet(bsf, packet) >= 0 && av_bsf_receive_packet(bsf, packet) >= 0) {
    size_t size = 0;
    const uint8_t* data = av_packet_get_side_data(packet, AV_PKT_DATA_NEW_EXTRADATA, &size);
    if (data && size > 0) {
      out->extradata = static_cast<uint8_t*>(av_mallocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
      if (out->extradata) {
        std::memcpy(out->extradata, data, size);
        out->extradata_size = static_cast<int>(size);
      }
    }
  }
  av_packet_free(&packet);
  av_bsf_free(&bsf);
}

int TRecording::WriteOutput(void* opaque, uint8_t* buffer, int size) {
  auto* self = static_cast<TRecording*>(opaque);
  try {
    self->FPart.Write(std::string_view(reinterpret_cast<const char*>(buffer), size));
    self->FBytes += static_cast<uint64_t>(size);
    return size;
  } catch (const std::exception& e) {
    if (self->FOutputFailure.empty()) self->FOutputFailure = e.what();
    return AVERROR(EIO);
  }
}

int64_t TRecording::SeekOutput(void* opaque, int64_t offset, int whence) {
  auto* self = static_cast<TRecording*>(opaque);
  try {
    if (whence & AVSEEK_SIZE) return static_cast<int64_t>(self->FPart.Size());
    return self->FPart.Seek(offset, whence & ~AVSEEK_FORCE);
  } catch (const std::exception& e) {
    if (self->FOutputFailure.empty()) self->FOutputFailure = e.what();
    return AVERROR(EIO);
  }
}

void TRecording::CreateOutput() {
  bool guessed = false;
  const TClipContainer container = ClipContainerFor(FSettings.FileName, guessed);
  if (guessed) WriteLog("Video file", msg::ClipInMatroska(FSettings.FileName), TLogLevel::llInfo);
  const char* format = container == TClipContainer::FragmentedMp4 ? "mp4" : "matroska";
  if (avformat_alloc_output_context2(&FOut, nullptr, format, nullptr) < 0 || !FOut)
    throw Error(msg::kNoMemoryForClip);

  // The video, and the audio where the container takes its format.
  const AVCodecParameters* video = FIn->streams[FVideoIn]->codecpar;
  if (avformat_query_codec(FOut->oformat, video->codec_id, FF_COMPLIANCE_NORMAL) != 1)
    throw Error(msg::VideoFormatNotInContainer(
        avcodec_get_name(video->codec_id),
        container == TClipContainer::FragmentedMp4 ? "MP4" : "Matroska", FSettings.FileName));
  std::vector<int> kept{FVideoIn};
  if (FAudioIn >= 0) {
    const AVCodecID audio = FIn->streams[FAudioIn]->codecpar->codec_id;
    const bool fits = container == TClipContainer::FragmentedMp4 ? audio == AV_CODEC_ID_AAC
                                                                 : MatroskaTakes(FOut, audio);
    if (fits) {
      kept.push_back(FAudioIn);
    } else {
      WriteLog("Video file", msg::AudioLeftOut(avcodec_get_name(audio), FSettings.FileName, format),
               TLogLevel::llInfo);
    }
  }
  for (const int in : kept) {
    AVStream* stream = avformat_new_stream(FOut, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, FIn->streams[in]->codecpar) < 0)
      throw Error(msg::kNoMemoryForClip);
    stream->codecpar->codec_tag = 0;
    stream->time_base = FIn->streams[in]->time_base;
    if (in == FVideoIn) {
      for (const AVPacket* packet : {FSetup, FKeyframe}) {
        if (packet->size == 0) continue;
        FindExtradata(packet, stream->codecpar);
        FindPictureSize(packet, stream->codecpar);
      }
      if (stream->codecpar->width <= 0 || stream->codecpar->height <= 0)
        throw Error(msg::UnknownFrameSize(FSettings.ShownUrl));
    }
    FOutIndex[in] = stream->index;
  }

  FPart = TPartFile(FSettings.FileName);
  auto* buffer = static_cast<unsigned char*>(av_malloc(kOutputBufferSize));
  FOut->pb = buffer ? avio_alloc_context(buffer, kOutputBufferSize, 1, this, nullptr,
                                         &TRecording::WriteOutput, &TRecording::SeekOutput)
                    : nullptr;
  if (!FOut->pb) {
    av_free(buffer);
    throw Error(msg::kNoMemoryForClip);
  }
  FOut->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_FLUSH_PACKETS;
  FOut->flush_packets = 1;
  FOut->max_interleave_delta = kInterleaveUs;
  AVDictionary* options = nullptr;
  if (container == TClipContainer::FragmentedMp4) {
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    av_dict_set(&options, "frag_duration", kFragmentDuration, 0);
  } else {
    // Clusters as short as MP4's fragments, for the same reason.
    av_dict_set(&options, "cluster_time_limit", kClusterDuration, 0);
  }
  const int code = avformat_write_header(FOut, &options);
  av_dict_free(&options);
  if (code < 0) {
    throw Error(
        FOutputFailure.empty()
            ? msg::CannotStartClipFile(FSettings.FileName,
                                       msg::WithLibraryLine(LibraryErrorText(code), FLibraryLine))
            : FOutputFailure);
  }
  FHeaderWritten = true;
}

bool TRecording::Write(AVPacket* packet) {
  const int in = packet->stream_index;
  if (in < 0 || in >= static_cast<int>(FOutIndex.size()) || FOutIndex[in] < 0) return true;
  const AVRational inBase = FIn->streams[in]->time_base;
  AVStream* out = FOut->streams[FOutIndex[in]];
  // Time in the clip: from the first keyframe, across the camera's jumps.
  const int64_t dtsUs = CameraTime(packet->dts, inBase)
                            .value_or(CameraTime(packet->pts, inBase).value_or(FLastCameraUs));
  FLastCameraUs = dtsUs;
  const int64_t ptsUs = CameraTime(packet->pts, inBase).value_or(dtsUs);
  if (FStartUs == AV_NOPTS_VALUE) FStartUs = dtsUs;
  int64_t clipUs = dtsUs - FStartUs + FShiftUs;
  if (in == FVideoIn && FVideoFrames > 0 &&
      (clipUs > FLastVideoUs + kLargestGapUs || clipUs < FLastVideoUs - kLargestGapUs)) {
    FShiftUs -= clipUs - FLastVideoUs;
    clipUs = FLastVideoUs;
  }
  if (clipUs < 0) return true;  // audio from before the first keyframe
  if (in == FVideoIn) {
    if (std::chrono::microseconds(clipUs) >= FSettings.MaxDuration) {
      Finish(msg::ClipAtMaxDuration(FSettings.MaxDuration.count()));
      return false;
    }
    FLastVideoUs = std::max(FLastVideoUs, clipUs);
  }
  if (FBytes + static_cast<uint64_t>(packet->size) > FSettings.MaxBytes) {
    Finish(msg::ClipAtMaxSize(FSettings.MaxBytes));
    return false;
  }
  // Strictly growing decoding times, presentation never before decoding.
  int64_t dts = av_rescale_q(clipUs, kMicroseconds, out->time_base);
  int64_t pts = av_rescale_q(ptsUs - dtsUs + clipUs, kMicroseconds, out->time_base);
  int64_t& last = FLastDts[in];
  if (last != AV_NOPTS_VALUE && dts <= last) dts = last + 1;
  pts = std::max(pts, dts);
  last = dts;
  packet->dts = dts;
  packet->pts = pts;
  packet->duration = av_rescale_q(packet->duration, inBase, out->time_base);
  packet->stream_index = out->index;
  packet->pos = -1;
  const int code = av_interleaved_write_frame(FOut, packet);
  if (code < 0) {
    Finish(FOutputFailure.empty() ? msg::CannotWriteClip(FPart.PartName(), LibraryErrorText(code))
                                  : FOutputFailure);
    return false;
  }
  if (in == FVideoIn) ++FVideoFrames;
  return true;
}

bool TRecording::Copy(AVPacket* packet) {
  if (packet->stream_index != FVideoIn) return Write(packet);
  const AVCodecID codec = FIn->streams[FVideoIn]->codecpar->codec_id;
  if (codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC) {
    const std::string_view data(reinterpret_cast<const char*>(packet->data), packet->size);
    // Parameter sets, SEI and delimiters on their own go with the next picture.
    if (!CarriesPicture(data, codec == AV_CODEC_ID_HEVC)) {
      if (FCarried.size() + data.size() > kMostCarriedBytes) FCarried.clear();
      if (data.size() <= kMostCarriedBytes) FCarried.append(data);
      return true;
    }
    if (!FCarried.empty()) {
      AVPacket* joined = packet->size <= kMostPictureBytes ? av_packet_alloc() : nullptr;
      if (joined && av_new_packet(joined, static_cast<int>(FCarried.size()) + packet->size) >= 0 &&
          av_packet_copy_props(joined, packet) >= 0) {
        std::memcpy(joined->data, FCarried.data(), FCarried.size());
        std::memcpy(joined->data + FCarried.size(), packet->data, packet->size);
        av_packet_unref(packet);
        av_packet_move_ref(packet, joined);
      }
      av_packet_free(&joined);
      FCarried.clear();
    }
  }
  if (FPending->size > 0 && packet->pts != AV_NOPTS_VALUE && packet->pts == FPending->pts &&
      packet->size <= kMostPictureBytes - FPending->size) {
    const int at = FPending->size;
    if (av_grow_packet(FPending, packet->size) < 0) return true;
    std::memcpy(FPending->data + at, packet->data, packet->size);
    FPending->flags |= packet->flags & AV_PKT_FLAG_KEY;
    return true;
  }
  bool going = true;
  if (FPending->size > 0) going = Write(FPending);
  av_packet_unref(FPending);
  if (going) av_packet_move_ref(FPending, packet);
  return going;
}

void TRecording::Record() {
  // The clip's time starts at its first keyframe, whatever comes after it.
  const AVRational videoBase = FIn->streams[FVideoIn]->time_base;
  FStartUs = CameraTime(FKeyframe->dts, videoBase)
                 .value_or(CameraTime(FKeyframe->pts, videoBase).value_or(0));
  const TClock::time_point backstop = TClock::now() + FSettings.MaxDuration + kLongestOverrun;
  FLastPictureAt = TClock::now();
  if (!Copy(FKeyframe)) return;
  av_packet_unref(FKeyframe);
  for (;;) {
    // The camera must send a picture within the silence limit: sound alone
    // does not keep a clip going.
    FDeadline = FLastPictureAt + FSettings.SilenceLimit;
    const int code = av_read_frame(FIn, FKeyframe);
    if (code < 0 || TClock::now() > backstop) {
      if (FPending->size > 0 && !Write(FPending)) return;
      if (code >= 0) {
        Finish(msg::ClipAtMaxDuration(FSettings.MaxDuration.count()));
      } else {
        Finish(FInterrupt == TInterrupt::Stop ? "" : FailureOf(code, msg::kRecordingInterrupted));
      }
      return;
    }
    if (FKeyframe->stream_index == FVideoIn) FLastPictureAt = TClock::now();
    const bool going = Copy(FKeyframe);
    av_packet_unref(FKeyframe);
    if (!going) return;
  }
}

void TRecording::Finish(std::string failure) {
  // The file is finished whatever ended the clip; the camera's connection
  // is let go first so that a stop is prompt.
  avformat_close_input(&FIn);
  const int code = av_write_trailer(FOut);
  TClipOutcome outcome;
  outcome.Bytes = FBytes;
  outcome.VideoFrames = FVideoFrames;
  outcome.Seconds = static_cast<double>(FLastVideoUs) / AV_TIME_BASE;
  if (code < 0 || !FOutputFailure.empty()) {
    // A file that could not be finished does not replace the old one: it
    // stays under its part's name.
    const std::string reason = FOutputFailure.empty() ? LibraryErrorText(code) : FOutputFailure;
    outcome.FileName = FPart.PartName();
    FPart = TPartFile();
    outcome.Failure = msg::ClipNotFinished(failure, reason, outcome.FileName);
  } else {
    try {
      FPart.Commit();
      outcome.FileName = FSettings.FileName;
      outcome.Failure = std::move(failure);
    } catch (const std::exception& e) {
      outcome.FileName = FPart.PartName();
      outcome.Failure = (failure.empty() ? "" : failure + "; ") + e.what();
    }
  }
  outcome.Failure = Masked(std::move(outcome.Failure));
  std::lock_guard lock(FShared->Lock);
  FShared->Outcome = std::move(outcome);
}

void TRecording::Started(const std::string& failure) {
  {
    std::lock_guard lock(FShared->Lock);
    FShared->StartFailure = failure;
    FShared->Answered = true;
  }
  FShared->Changed.notify_all();
}

void TRecording::Run() noexcept {
  tRecording = this;
  bool started = false;
  try {
    Open();
    ChooseStreams();
    AwaitKeyframe();
    CreateOutput();
    started = true;
    Started("");
    Record();
  } catch (const std::exception& e) {
    if (!started) {
      FPart.Discard();
      Started(Masked(e.what()));
    } else {
      std::lock_guard lock(FShared->Lock);
      FShared->Outcome.Failure = Masked(e.what());
      FShared->Outcome.FileName = FPart.PartName();
    }
  }
  Release();
  tRecording = nullptr;
}

void TRecording::Release() noexcept {
  av_packet_free(&FKeyframe);
  av_packet_free(&FSetup);
  av_packet_free(&FPending);
  avformat_close_input(&FIn);
  if (FOut) {
    if (FOut->pb) {
      av_freep(&FOut->pb->buffer);
      avio_context_free(&FOut->pb);
    }
    avformat_free_context(FOut);
    FOut = nullptr;
  }
}

// The library's log lines, each to the recording of the thread that wrote it.
void LibraryLog(void*, int level, const char* format, va_list arguments) {
  if (!tRecording || level > AV_LOG_WARNING) return;
  char line[1024];
  int prefix = 0;
  av_log_format_line2(nullptr, level, format, arguments, line, sizeof line, &prefix);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  tRecording->NoteLibraryLine(level, text);
}

void PrepareLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    av_max_alloc(kLargestLibraryAllocation);
    av_log_set_level(AV_LOG_WARNING);
    av_log_set_callback(&LibraryLog);
    avformat_network_init();
  });
}

}  // namespace

std::string WithoutSecrets(std::string text, const std::string& login,
                           const std::string& password) {
  constexpr std::string_view kMask = "********";
  const std::string secrets[] = {PercentEncoded(login) + ":" + PercentEncoded(password), password};
  for (const std::string& secret : secrets) {
    if (secret.size() < 2) continue;
    // The search goes on after each mask: a password of asterisks would
    // otherwise be found in its own mask without end.
    for (size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + kMask.size()))
      text.replace(at, secret.size(), kMask);
  }
  return text;
}

TClipContainer ClipContainerFor(const std::string& fileName, bool& guessed) {
  const size_t dot = fileName.find_last_of('.');
  const size_t separator = fileName.find_last_of("/\\");
  std::string extension;
  if (dot != std::string::npos && (separator == std::string::npos || dot > separator))
    extension = fileName.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  guessed = false;
  if (extension == ".mp4") return TClipContainer::FragmentedMp4;
  guessed = extension != ".mkv";
  return TClipContainer::Matroska;
}

TClipRecorder::TClipRecorder() = default;

TClipRecorder::~TClipRecorder() {
  if (F) Stop();
}

void TClipRecorder::Start(const TClipSettings& settings) {
  if (F) throw Error(msg::kRecordingUnderway);
  PrepareLibrary();
  auto shared = std::make_shared<TShared>();
  auto recording = std::make_shared<TRecording>(settings, shared);
  TJoinableThread thread([recording = std::move(recording)] { recording->Run(); });
  {
    std::unique_lock lock(shared->Lock);
    shared->Changed.wait(lock, [&] { return shared->Answered; });
  }
  if (!shared->StartFailure.empty()) {
    // The thread has only its connection to let go: it is waited for, so
    // that nothing of it runs on after the failure is told.
    thread.Join();
    throw Error(shared->StartFailure);
  }
  F = std::move(shared);
  FThread = std::move(thread);
}

TClipOutcome TClipRecorder::Stop() {
  const std::shared_ptr<TShared> shared = std::move(F);
  if (!shared) return {};
  shared->StopAsked = true;
  FThread.Join();
  // While the process ends on Windows the recording thread is gone already.
  if (ProcessIsExiting()) return {};
  std::lock_guard lock(shared->Lock);
  return shared->Outcome;
}

}  // namespace zorvane
