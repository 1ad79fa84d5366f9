#include "xml/xml_reader.h"

#include <algorithm>
#include <cstring>

namespace zorvane {

namespace {
constexpr size_t kMinBufferSize = 128;
// A text at least this long is handed over in the buffer that holds it
// rather than copied: a huge token then costs its size once, not twice.
constexpr size_t kHandOverSize = 64 * 1024;
}  // namespace

TXmlStreamReader::TXmlStreamReader(TStream& stream, TTextEncoding encoding, bool detectBOM,
                                   size_t bufferSize)
    : FStream(stream),
      FEncoding(encoding),
      FDetectBOM(detectBOM),
      FBufferSize(std::max(bufferSize, kMinBufferSize)) {}

// Reads the first chunk and chooses the decoder by its byte-order mark.
void TXmlStreamReader::Start() {
  FStarted = true;
  FChunk.resize(FBufferSize);
  const size_t n = FStream.Read(FChunk.data(), FBufferSize);
  FChunk.resize(n);
  if (n < FBufferSize) FNoDataInStream = true;
  std::string_view bytes(FChunk);
  TTextEncoding encoding = FEncoding;
  if (FDetectBOM) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      encoding = TTextEncoding::Utf8;
    } else if (bytes.substr(0, 2) == "\xFF\xFE") {
      encoding = TTextEncoding::Utf16LE;
      bytes.remove_prefix(2);
    } else if (bytes.substr(0, 2) == "\xFE\xFF") {
      encoding = TTextEncoding::Utf16BE;
      bytes.remove_prefix(2);
    }
  }
  if (encoding == TTextEncoding::Utf8 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
    bytes.remove_prefix(3);
  FDecoder = MakeDecoder(encoding);
  FDecoder->Decode(bytes, FNoDataInStream, FBufferedData);
}

bool TXmlStreamReader::Refill() {
  if (!FStarted) {
    Start();
    return true;
  }
  if (FNoDataInStream) return false;
  // Drop what was consumed before the buffer grows.
  if (FPos > 0) {
    FBufferedData.erase(0, FPos);
    FPos = 0;
  }
  // A long text grows the buffer: once, by all the stream may still give,
  // rather than by doubling, which leaves as much again behind in freed blocks.
  if (FBufferedData.size() >= kHandOverSize &&
      FBufferedData.size() + 2 * FBufferSize > FBufferedData.capacity()) {
    if (const int64_t left = FStream.Remaining(); left > 0) {
      FBufferedData.reserve(FBufferedData.size() + static_cast<size_t>(left) + 2 * FBufferSize);
    }
  }
  FChunk.resize(FBufferSize);
  const size_t n = FStream.Read(FChunk.data(), FBufferSize);
  FChunk.resize(n);
  if (n < FBufferSize) FNoDataInStream = true;
  FDecoder->Decode(FChunk, FNoDataInStream, FBufferedData);
  return true;
}

bool TXmlStreamReader::PrepareBuffer(size_t n) {
  if (FBufferedData.size() - FPos >= n) return true;
  Refill();
  return FBufferedData.size() - FPos >= n;
}

bool TXmlStreamReader::EndOfData() {
  while (FPos >= FBufferedData.size()) {
    if (!Refill()) return true;
  }
  return false;
}

char TXmlStreamReader::FirstChar() {
  return EndOfData() ? '\0' : FBufferedData[FPos];
}

void TXmlStreamReader::IncCharPos(size_t n) {
  if (PrepareBuffer(n)) FPos += n;
}

bool TXmlStreamReader::IsUppercaseText(std::string_view s) {
  if (!PrepareBuffer(s.size())) return false;
  if (std::string_view(FBufferedData).substr(FPos, s.size()) != s) return false;
  FPos += s.size();
  return true;
}

std::string TXmlStreamReader::ReadText(std::string_view stop, TExtractTextOptions options) {
  const bool stopString = options & etoStopString;
  const size_t stopLength = stopString ? stop.size() : 1;
  size_t scanned = 0;  // bytes after FPos already known to hold no stop
  for (;;) {
    const std::string_view data = std::string_view(FBufferedData).substr(FPos);
    size_t found = std::string_view::npos;
    if (stopString) {
      found = data.find(stop, scanned);
    } else if (stop.size() == 1) {
      found = data.find(stop[0], scanned);
    } else {
      found = data.find_first_of(stop, scanned);
    }
    if (found != std::string_view::npos) {
      return Take(found, (options & etoDeleteStopChar) ? stopLength : 0);
    }
    // A stop string may begin in the last stopLength-1 characters.
    scanned = data.size() >= stopLength ? data.size() - (stopLength - 1) : 0;
    if (!Refill()) return Take(data.size(), 0);
  }
}

std::string TXmlStreamReader::Take(size_t length, size_t skip) {
  if (length < kHandOverSize) {
    std::string text(FBufferedData, FPos, length);
    FPos += length + skip;
    return text;
  }
  // What follows the text stays buffered; the buffer itself becomes the text.
  std::string rest(std::string_view(FBufferedData).substr(FPos + length + skip));
  FBufferedData.resize(FPos + length);
  FBufferedData.erase(0, FPos);
  std::string text = std::move(FBufferedData);
  FBufferedData = std::move(rest);
  FPos = 0;
  return text;
}

}  // namespace zorvane
