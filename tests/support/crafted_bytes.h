// The bytes of crafted picture files, built piece by piece: numbers in either byte order, JPEG
// segments, PNG chunks, BMP headers, EXIF directory entries. It needs neither the test framework
// nor the picture library, so the fuzz seed maker builds with it too.
#pragma once

#include <cstdint>
#include <string>

namespace testing_support {

// The `size` low bytes of `value`: least significant first, as BMP and little-endian EXIF store
// numbers; most significant first, as JPEG, PNG and big-endian EXIF do; or in either order, as
// TIFF structures come in both.
std::string LittleEndian(uint32_t value, unsigned size);
std::string BigEndian(uint32_t value, unsigned size);
std::string InByteOrder(bool bigEndian, uint32_t value, unsigned size);
std::string Byte(unsigned value);
// The number of `size` bytes at `at` of `bytes`, read back in the given byte order.
uint32_t NumberAt(const std::string& bytes, uint64_t at, unsigned size, bool bigEndian);

// A JPEG marker segment: the marker, its length (which counts itself), the body.
std::string Segment(char marker, const std::string& body);

// A JPEG quantisation table of ones.
std::string OnesQuantisation();

// A JPEG Huffman table of one 1-bit code, for the value 0: of class 0, a DC difference of 0; of
// class 1, the end of the block.
std::string OneCodeHuffman(unsigned tableClass);

// Components of a JPEG frame, three bytes each: id, sampling factors, quantisation table.
inline const std::string kGreyComponent("\1\x11\0", 3);
inline const std::string kYCbCr420Components("\1\x22\0\2\x11\0\3\x11\0", 9);

// The frame header of the frame type `sof` at 8 bits a sample.
std::string JpegFrame(char sof, uint32_t width, uint32_t height, const std::string& components);

// A scan header for the first `inScan` of `components`, all with tables 0, over the
// coefficients first..last.
std::string JpegScan(const std::string& components, unsigned inScan, unsigned first, unsigned last);

extern const char kPngSignature[];

// A PNG chunk: length, type, data, and the CRC over type and data.
std::string PngChunk(const std::string& type, const std::string& data);

std::string Ihdr(uint32_t width, uint32_t height, unsigned depth, unsigned colourType,
                 bool interlaced = false);

// A PNG file of an IHDR, one IDAT and IEND.
std::string PngFile(const std::string& ihdr, const std::string& idat);

// `bytes` zero bytes, deflated as tightly as zlib can, without holding them all at once.
std::string DeflatedZeros(uint64_t bytes);

// BMP compressions.
enum : uint32_t { kBmpRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// A 40-byte BMP info header. Sizes as stored, so negative ones come as 2^32 - n; `colours` is the
// length of the palette, 0 for every colour of the depth.
std::string BmpInfoHeader(uint32_t width, uint32_t height, uint32_t bits, uint32_t compression,
                          uint32_t dataSize, uint32_t dotsPerMetre, uint32_t colours);

// A BMP file: its 14-byte file header, then `headers` (the info header and whatever follows it
// up to the pixels: masks, palette), then `pixels`.
std::string BmpWithPixelsAfter(const std::string& headers, const std::string& pixels);

// A BMP file of 2835 dots per metre with a 40-byte info header and `palette`, 4 bytes a colour.
std::string Bmp(uint32_t width, uint32_t height, uint32_t bits, uint32_t compression,
                const std::string& palette, const std::string& data);

// Value types of EXIF directory entries.
enum : uint32_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

// A little-endian EXIF directory entry: tag, type, count, then the value itself or its offset.
std::string ExifEntry(uint32_t tag, uint32_t type, uint32_t count, uint32_t value);

}  // namespace testing_support
