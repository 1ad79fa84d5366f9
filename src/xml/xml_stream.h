// Byte streams the XML model reads from and writes to: a view over bytes in
// memory, a growing memory buffer, and a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace zorvane {

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; fewer means the stream has no more. Throws on failure.
  virtual size_t Read(char* buffer, size_t count) = 0;
  virtual void Write(const char* data, size_t count) = 0;
  virtual uint64_t Position() const = 0;
  // How many bytes Read can still give, when the stream knows; -1 otherwise.
  // A reader may size its buffer by it.
  virtual int64_t Remaining() const { return -1; }
};

// Reads bytes that someone else owns; they must outlive the stream.
class TBytesStream final : public TStream {
 public:
  explicit TBytesStream(std::string_view bytes) : FBytes(bytes) {}
  size_t Read(char* buffer, size_t count) override;
  void Write(const char* data, size_t count) override;  // throws: read-only
  uint64_t Position() const override { return FPos; }
  int64_t Remaining() const override { return static_cast<int64_t>(FBytes.size() - FPos); }

 private:
  std::string_view FBytes;
  size_t FPos = 0;
};

// Bytes held in memory, written at the end and read from the position.
class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes) : FBytes(std::move(bytes)) {}
  size_t Read(char* buffer, size_t count) override;
  void Write(const char* data, size_t count) override { FBytes.append(data, count); }
  uint64_t Position() const override { return FBytes.size(); }
  int64_t Remaining() const override { return static_cast<int64_t>(FBytes.size() - FReadPos); }
  const std::string& Bytes() const { return FBytes; }

 private:
  std::string FBytes;
  size_t FReadPos = 0;
};

// A file opened for reading, or created (truncated) for writing.
class TFileStream final : public TStream {
 public:
  enum class TMode { Read, Create };
  TFileStream(const std::string& path, TMode mode);  // throws with the system's message
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  size_t Read(char* buffer, size_t count) override;
  void Write(const char* data, size_t count) override;
  uint64_t Position() const override { return FPos; }

 private:
  TFile FFile;
  uint64_t FPos = 0;
};

}  // namespace zorvane
