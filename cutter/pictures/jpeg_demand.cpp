// What a JPEG file's header demands: the frame, its blocks and coefficients, and its scans.
#include <algorithm>

#include "cutter/pictures/picture_headers.h"

namespace picture_headers {
namespace {

// JPEG markers.
enum : int {
  kSof0 = 0xC0,   // baseline
  kSof1 = 0xC1,   // extended sequential
  kSof2 = 0xC2,   // progressive
  kSof9 = 0xC9,   // sequential, arithmetic coding
  kSof10 = 0xCA,  // progressive, arithmetic coding
  kSoi = 0xD8,
  kEoi = 0xD9,
  kSos = 0xDA,
};

bool IsFrameWeCannotDecode(int marker) {
  // Lossless (0xC3, and 0xCB with arithmetic coding), hierarchical and the reserved frame
  // type: the decoder refuses them unread.
  return marker == 0xC3 || (marker >= 0xC5 && marker <= 0xC8) || marker == 0xCB ||
         (marker >= 0xCD && marker <= 0xCF);
}

// Whether the decoder reads a segment after the marker and skips it by its length. Any other
// marker it takes as standing alone, after a warning, and looks for the next marker right
// behind it: the bytes of such a "segment" may hold markers the decoder acts on, frames and
// scans included, so they must not be skipped here either.
bool HasSegment(int marker) {
  return (marker >= 0xC0 && marker <= 0xCF) || (marker >= 0xDA && marker <= 0xDD) ||
         (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// Application data, comments and DNL: the decoder takes a length below 2 for no data and reads
// on right behind it. A length below 2 on any other segment is an error it stops at.
bool MayHaveNoLength(int marker) {
  return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE || marker == 0xDC;
}

// The next marker as the decoder finds it: bytes before 0xFF are skipped, so are fill bytes
// of 0xFF and a stuffed 0xFF 0x00. EOF at the end of the file.
int NextMarker(Reader& file) {
  for (;;) {
    int c = file.Through(0xFF);
    while (c == 0xFF) {
      c = file.Byte();
    }
    if (c != 0) {
      return c;
    }
  }
}

// Reads what follows `marker` as the decoder does: the length of its segment, its 2 bytes
// included and read; 0 when the decoder reads on right behind the marker (or its length); -1
// when it stops there.
long SegmentLength(Reader& file, int marker) {
  if (!HasSegment(marker)) {
    return 0;
  }
  unsigned char bytes[2];
  if (!file.Read(bytes, 2)) {
    return -1;
  }
  const long length = static_cast<long>(BigEndian(bytes, 2));
  if (length >= 2) {
    return length;
  }
  return MayHaveNoLength(marker) ? 0 : -1;
}

struct JpegFrame {
  unsigned width = 0;
  unsigned height = 0;
  unsigned components = 0;
  unsigned across[10] = {};  // each component's sampling factors
  unsigned down[10] = {};
  bool progressive = false;
  bool arithmetic = false;
  bool oneScan = false;  // the first scan holds every component, and it is the only one
};

// Reads the frame header and the first scan's header as the decoder does before it starts.
// False for anything the decoder refuses before allocating the picture.
bool ReadJpegFrame(Reader& file, JpegFrame& frame) {
  if (file.Byte() != 0xFF || file.Byte() != kSoi) {
    return false;
  }
  bool framed = false;
  for (;;) {
    const int marker = NextMarker(file);
    if (marker == EOF || marker == kEoi || marker == kSoi || IsFrameWeCannotDecode(marker)) {
      return false;
    }
    const long length = SegmentLength(file, marker);
    if (length < 0) {
      return false;
    }
    if (length == 0) {
      continue;
    }
    unsigned char bytes[2 + 6 + 3 * 10];  // from bytes + 2: what follows the length
    if (marker == kSof0 || marker == kSof1 || marker == kSof2 || marker == kSof9 ||
        marker == kSof10) {
      // Precision, height, width, components; then id, sampling and table of each.
      if (framed || length < 8 || !file.Read(bytes + 2, 6)) {
        return false;
      }
      frame.height = BigEndian(bytes + 3, 2);
      frame.width = BigEndian(bytes + 5, 2);
      frame.components = bytes[7];
      if (bytes[2] != 8 || frame.width == 0 || frame.height == 0 || frame.components == 0 ||
          frame.components > 10 || length < 8 + 3 * static_cast<long>(frame.components) ||
          !file.Read(bytes + 8, 3 * frame.components)) {
        return false;
      }
      for (unsigned i = 0; i < frame.components; ++i) {
        frame.across[i] = bytes[9 + 3 * i] >> 4;
        frame.down[i] = bytes[9 + 3 * i] & 15;
        if (frame.across[i] < 1 || frame.across[i] > 4 || frame.down[i] < 1 || frame.down[i] > 4) {
          return false;
        }
      }
      frame.progressive = marker == kSof2 || marker == kSof10;
      frame.arithmetic = marker == kSof9 || marker == kSof10;
      framed = true;
      file.Skip(static_cast<uint64_t>(length) - 8 - 3 * frame.components);
    } else if (marker == kSos) {
      if (!framed || !file.Read(bytes + 2, 1)) {
        return false;
      }
      frame.oneScan = !frame.progressive && bytes[2] >= frame.components;
      return true;
    } else {
      file.Skip(static_cast<uint64_t>(length) - 2);
    }
  }
}

// Fewest 8 x 8 blocks per byte. Huffman coding spends at least 1 bit on every block: its DC
// difference (a progressive file's first DC scan; a sequential one also spends 1 on the end of
// block). The arithmetic coder adapts until a picture of one colour costs it a thousandth of a
// bit a block, but real ones take far more: a photo 13 bits a block or more, a white page of
// 8000 x 6000 with a few lines of text 0.09 (4:4:4, quality 75). 1/128 of a bit leaves a
// margin of ten; only a nearly blank picture goes below it, refused above kCheapDecodeBytes.
constexpr uint64_t kHuffmanMostBlocksPerByte = 8;
constexpr uint64_t kArithmeticMostBlocksPerByte = 8 * 128;

// The scans from the one just begun to the end of the file, marker segments skipped whole so
// that their contents are never taken for markers.
uint64_t CountScans(Reader& file) {
  uint64_t scans = 1;
  for (;;) {
    const int marker = NextMarker(file);
    if (marker == EOF || marker == kEoi) {
      return scans;
    }
    const long length = SegmentLength(file, marker);
    if (length < 0) {
      return scans;
    }
    if (length == 0) {
      continue;
    }
    scans += marker == kSos ? 1 : 0;
    file.Skip(static_cast<uint64_t>(length) - 2);
  }
}

}  // namespace

PictureDemand JpegDemand(Reader& file) {
  JpegFrame frame;
  if (!ReadJpegFrame(file, frame)) {
    return {};
  }
  unsigned mostAcross = 1;
  unsigned mostDown = 1;
  for (unsigned i = 0; i < frame.components; ++i) {
    mostAcross = frame.across[i] > mostAcross ? frame.across[i] : mostAcross;
    mostDown = frame.down[i] > mostDown ? frame.down[i] : mostDown;
  }
  uint64_t blocks = 0;
  uint64_t coefficientBytes = 0;
  for (unsigned i = 0; i < frame.components; ++i) {
    const uint64_t across = CeilDiv(uint64_t{frame.width} * frame.across[i], mostAcross * 8);
    const uint64_t down = CeilDiv(uint64_t{frame.height} * frame.down[i], mostDown * 8);
    blocks = Plus(blocks, Times(across, down));
    // 64 coefficients of 2 bytes a block, over whole sampling units: 2 bytes a pixel at full
    // sampling.
    coefficientBytes =
        Plus(coefficientBytes,
             Times(Times(RoundUp(across, frame.across[i]), RoundUp(down, frame.down[i])), 64 * 2));
  }
  PictureDemand demand;
  demand.width = frame.width;
  demand.height = frame.height;
  demand.mostAcross = mostAcross;
  demand.mostDown = mostDown;
  demand.leastAcross = *std::min_element(frame.across, frame.across + frame.components);
  demand.leastDown = *std::min_element(frame.down, frame.down + frame.components);
  // Grey gives 8 bits a pixel, colour 24 (CMYK is converted); other counts a byte a component.
  const unsigned bits = frame.components == 4 ? 24 : 8 * frame.components;
  demand.decodeBytes = Times(Pitch(frame.width, bits), frame.height);
  if (!frame.oneScan) {
    // Several scans: the decoder keeps every coefficient until the last scan is read.
    demand.decodeBytes = Plus(demand.decodeBytes, coefficientBytes);
  }
  demand.leastFileBytes =
      CeilDiv(blocks, frame.arithmetic ? kArithmeticMostBlocksPerByte : kHuffmanMostBlocksPerByte);
  demand.scans = CountScans(file);
  demand.known = true;
  return demand;
}

}  // namespace picture_headers
