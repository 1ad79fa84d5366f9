// TXmlStreamReader: decoded text read from a byte stream in chunks of a given
// size. Only the characters not yet consumed are kept. Positions count bytes
// of the decoded UTF-8 text; every delimiter the parser uses is ASCII.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "xml/text_codec.h"
#include "xml/xml_stream.h"

namespace zorvane {

enum TExtractTextOption : unsigned { etoDeleteStopChar = 1, etoStopString = 2 };
using TExtractTextOptions = unsigned;

class TXmlStreamReader {
 public:
  // detectBOM: a byte-order mark at the start selects the encoding it names.
  // A UTF-8 mark is skipped whenever the encoding is UTF-8.
  TXmlStreamReader(TStream& stream, TTextEncoding encoding, bool detectBOM, size_t bufferSize);

  // True if at least n characters are buffered, refilling once if needed.
  bool PrepareBuffer(size_t n);
  // The next character, not consumed; 0 at the end of the data.
  char FirstChar();
  void IncCharPos(size_t n);
  // Consumes s if the next characters are exactly s.
  bool IsUppercaseText(std::string_view s);
  // The text before the stop (a set of characters, or one string with
  // etoStopString), consumed; the stop too with etoDeleteStopChar. Without a
  // stop, everything left.
  std::string ReadText(std::string_view stop, TExtractTextOptions options);
  // No character left and the stream exhausted.
  bool EndOfData();

 private:
  // The next length characters, consumed with skip more after them.
  std::string Take(size_t length, size_t skip);
  // Reads and decodes the next chunk; false when the stream had nothing more.
  bool Refill();
  void Start();

  TStream& FStream;
  TTextEncoding FEncoding;
  bool FDetectBOM;
  size_t FBufferSize;
  std::unique_ptr<TTextDecoder> FDecoder;
  std::string FBufferedData;
  size_t FPos = 0;  // first unconsumed byte of FBufferedData
  bool FNoDataInStream = false;
  bool FStarted = false;
  std::string FChunk;
};

}  // namespace zorvane
