#include "support/crafted_bytes.h"

#include <zlib.h>

namespace testing_support {

std::string LittleEndian(uint32_t value, unsigned size) {
  std::string bytes;
  for (unsigned i = 0; i < size; ++i) {
    bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  return bytes;
}

std::string BigEndian(uint32_t value, unsigned size) {
  std::string bytes = LittleEndian(value, size);
  return std::string(bytes.rbegin(), bytes.rend());
}

uint32_t NumberAt(const std::string& bytes, uint64_t at, unsigned size, bool bigEndian) {
  uint32_t v = 0;
  for (unsigned i = 0; i < size; ++i) {
    auto b = static_cast<uint8_t>(bytes[at + (bigEndian ? i : size - 1 - i)]);
    v = v << 8 | b;
  }
  return v;
}

std::string InByteOrder(bool bigEndian, uint32_t value, unsigned size) {
  return bigEndian ? BigEndian(value, size) : LittleEndian(value, size);
}

std::string Byte(unsigned value) {
  return std::string(1, static_cast<char>(value));
}

std::string Segment(char marker, const std::string& body) {
  return std::string("\xFF") + marker + BigEndian(static_cast<uint32_t>(body.size() + 2), 2) + body;
}

std::string OnesQuantisation() {
  return Segment('\xDB', '\0' + std::string(64, '\1'));
}

std::string OneCodeHuffman(unsigned tableClass) {
  return Segment('\xC4', Byte(tableClass << 4) + '\1' + std::string(16, '\0'));
}

std::string JpegFrame(char sof, uint32_t width, uint32_t height, const std::string& components) {
  return Segment(sof, '\x08' + BigEndian(height, 2) + BigEndian(width, 2) +
                          Byte(static_cast<unsigned>(components.size() / 3)) + components);
}

std::string JpegScan(const std::string& components, unsigned inScan, unsigned first,
                     unsigned last) {
  std::string body = Byte(inScan);
  for (unsigned i = 0; i < inScan; ++i) {
    body += components.substr(3 * i, 1) + '\0';
  }
  return Segment('\xDA', body + Byte(first) + Byte(last) + '\0');
}

const char kPngSignature[] = "\x89PNG\r\n\x1A\n";

std::string PngChunk(const std::string& type, const std::string& data) {
  const std::string body = type + data;
  const auto crc =
      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
  return BigEndian(static_cast<uint32_t>(data.size()), 4) + body +
         BigEndian(static_cast<uint32_t>(crc), 4);
}

std::string Ihdr(uint32_t width, uint32_t height, unsigned depth, unsigned colourType,
                 bool interlaced) {
  return BigEndian(width, 4) + BigEndian(height, 4) + Byte(depth) + Byte(colourType) +
         std::string(2, '\0') + Byte(interlaced ? 1 : 0);
}

std::string PngFile(const std::string& ihdr, const std::string& idat) {
  return kPngSignature + PngChunk("IHDR", ihdr) + PngChunk("IDAT", idat) + PngChunk("IEND", "");
}

std::string DeflatedZeros(uint64_t bytes) {
  z_stream stream = {};
  deflateInit(&stream, 9);
  const std::string zeros(1 << 20, '\0');
  std::string out;
  char buffer[1 << 16];
  uint64_t left = bytes;
  int flush = Z_NO_FLUSH;
  do {
    const uint64_t take = left < zeros.size() ? left : zeros.size();
    left -= take;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    stream.avail_in = static_cast<uInt>(take);
    do {
      stream.next_out = reinterpret_cast<Bytef*>(buffer);
      stream.avail_out = sizeof buffer;
      deflate(&stream, flush);
      out.append(buffer, sizeof buffer - stream.avail_out);
    } while (stream.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&stream);
  return out;
}

std::string BmpInfoHeader(uint32_t width, uint32_t height, uint32_t bits, uint32_t compression,
                          uint32_t dataSize, uint32_t dotsPerMetre, uint32_t colours) {
  return LittleEndian(40, 4) + LittleEndian(width, 4) + LittleEndian(height, 4) +
         LittleEndian(1, 2) + LittleEndian(bits, 2) + LittleEndian(compression, 4) +
         LittleEndian(dataSize, 4) + LittleEndian(dotsPerMetre, 4) + LittleEndian(dotsPerMetre, 4) +
         LittleEndian(colours, 4) + LittleEndian(0, 4);
}

std::string BmpWithPixelsAfter(const std::string& headers, const std::string& pixels) {
  const auto start = static_cast<uint32_t>(14 + headers.size());
  return "BM" + LittleEndian(start + static_cast<uint32_t>(pixels.size()), 4) + LittleEndian(0, 4) +
         LittleEndian(start, 4) + headers + pixels;
}

std::string Bmp(uint32_t width, uint32_t height, uint32_t bits, uint32_t compression,
                const std::string& palette, const std::string& data) {
  return BmpWithPixelsAfter(
      BmpInfoHeader(width, height, bits, compression, static_cast<uint32_t>(data.size()), 2835,
                    static_cast<uint32_t>(palette.size() / 4)) +
          palette,
      data);
}

std::string ExifEntry(uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
  return LittleEndian(tag, 2) + LittleEndian(type, 2) + LittleEndian(count, 4) +
         LittleEndian(value, 4);
}

}  // namespace testing_support
