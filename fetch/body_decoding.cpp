#include "fetch/body_decoding.h"

#include <wchar.h>
#include <zlib.h>

namespace {

// windowBits as zlib takes them: 15 + 32 reads a gzip or zlib header,
// -15 raw deflate.
bool Inflate(const ByteStr& body, int windowBits, size_t limit, ByteStr* out) {
  z_stream stream = {};
  if (inflateInit2(&stream, windowBits) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.c_str()));
  stream.avail_in = static_cast<uInt>(body.size());
  char buffer[4096];
  int result = Z_OK;
  ByteStr decoded;
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    result = inflate(&stream, Z_NO_FLUSH);
    size_t produced = sizeof(buffer) - stream.avail_out;
    // A bomb stops here, not in the memory.
    if (decoded.size() + produced > limit) result = Z_DATA_ERROR;
    if (result == Z_OK || result == Z_STREAM_END) decoded.Append(buffer, produced);
    if (result == Z_OK && produced == 0 && stream.avail_in == 0) result = Z_BUF_ERROR;
  }
  inflateEnd(&stream);
  // Whole: the stream's end, and nothing after it.
  if (result != Z_STREAM_END || stream.avail_in != 0) return false;
  *out = decoded;
  return true;
}

}  // namespace

bool DecodedEncoding(const WStr& coding) {
  return _wcsicmp(coding.c_str(), L"gzip") == 0 || _wcsicmp(coding.c_str(), L"deflate") == 0;
}

bool DecodeBody(const ByteStr& body, size_t limit, ByteStr* out) {
  return Inflate(body, MAX_WBITS + 32, limit, out) || Inflate(body, -MAX_WBITS, limit, out);
}
