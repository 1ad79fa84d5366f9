// A video clip: the camera's own RTSP stream copied into a file as it comes
// (no decoding, no encoding), on a thread of its own, from its first
// keyframe until it is stopped, a limit is reached, or the camera stops
// sending. The file is written as a part beside its target (TPartFile) and
// put in the target's place when the clip ends; a clip cut off by a crash
// stays readable under the part's name.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/threads.h"

namespace zorvane {

// ".mp4": fragmented MP4, which stays readable up to its last fragment when
// the writer dies; ".mkv": Matroska.
enum class TClipContainer { FragmentedMp4, Matroska };

// The container a file name's extension asks for, in any letter case; any
// other extension is given Matroska, with guessed set.
TClipContainer ClipContainerFor(const std::string& fileName, bool& guessed);

// text with the login and password as the stream's address carries them,
// and the password alone, masked ("********"); a password of one character
// is left, as it would mask half the text.
std::string WithoutSecrets(std::string text, const std::string& login, const std::string& password);

struct TClipSettings {
  // rtsp://HOST[:PORT]/PATH with the address to connect to as its host, no
  // user information: the stream as the recorder opens it. A redirect to
  // another host is not followed while a login is given.
  std::string Url;
  // The stream's address as messages show it (the camera's own name in it).
  std::string ShownUrl;
  // Given to the camera when it asks for them (RTSP Basic or Digest).
  std::string Login;
  std::string Password;
  std::string FileName;
  // Keeps the camera's audio where the container takes its format.
  bool KeepAudio = true;
  std::chrono::seconds MaxDuration{600};
  uint64_t MaxBytes = uint64_t{1} << 30;
  // The camera sends nothing for this long: the clip ends (the stream's
  // set-up has the same time for each of its steps).
  std::chrono::milliseconds SilenceLimit{10000};
  // From the start to the first keyframe.
  std::chrono::milliseconds StartLimit{20000};
};

// How a clip ended.
struct TClipOutcome {
  // The clip's file; empty when none was kept.
  std::string FileName;
  // Why the clip ended before it was stopped, or failed to be finished;
  // empty when it ended as asked.
  std::string Failure;
  double Seconds = 0;
  uint64_t Bytes = 0;
  uint64_t VideoFrames = 0;
};

class TClipRecorder {
 public:
  TClipRecorder();
  // Stops a clip still recording and finishes its file.
  ~TClipRecorder();
  TClipRecorder(const TClipRecorder&) = delete;
  TClipRecorder& operator=(const TClipRecorder&) = delete;

  // Connects, waits for the first keyframe and the file's header, then
  // records on; throws Error with the reason (no file is left then). Only
  // when no clip is recording.
  void Start(const TClipSettings& settings);
  // Ends the clip (if it has not ended on its own) and returns once its file
  // is finished and its thread has ended.
  TClipOutcome Stop();
  // Started and not stopped yet (it may have ended on its own).
  bool IsStarted() const { return static_cast<bool>(F); }

  struct TShared;

 private:
  std::shared_ptr<TShared> F;
  TJoinableThread FThread;
};

}  // namespace zorvane
