#include "xml/xml_stream.h"

#include <cstring>

#include "common/error.h"
#include "xml/messages.h"

namespace zorvane {

size_t TBytesStream::Read(char* buffer, size_t count) {
  const size_t n = std::min(count, FBytes.size() - FPos);
  if (n) std::memcpy(buffer, FBytes.data() + FPos, n);
  FPos += n;
  return n;
}

void TBytesStream::Write(const char*, size_t) {
  throw Error(msg::kStreamWriteError);
}

size_t TMemoryStream::Read(char* buffer, size_t count) {
  const size_t n = std::min(count, FBytes.size() - FReadPos);
  if (n) std::memcpy(buffer, FBytes.data() + FReadPos, n);
  FReadPos += n;
  return n;
}

TFileStream::TFileStream(const std::string& path, TMode mode)
    : FFile(mode == TMode::Read ? TFile::OpenToRead(path) : TFile::CreateToWrite(path)) {}

TFileStream::~TFileStream() = default;

size_t TFileStream::Read(char* buffer, size_t count) {
  const size_t done = FFile.Read(buffer, count);
  FPos += done;
  return done;
}

void TFileStream::Write(const char* data, size_t count) {
  FFile.Write(std::string_view(data, count));
  FPos += count;
}

}  // namespace zorvane
