// Rebuilding the EXIF block of a JPEG piece for the piece alone.
#include "cutter/pictures/exif_rewrite.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr size_t kSignatureSize = sizeof kExifSignature;
constexpr size_t kTiffHeaderSize = 8;
constexpr size_t kEntrySize = 12;

constexpr uint16_t kImageWidth = 0x0100;
constexpr uint16_t kImageLength = 0x0101;
constexpr uint16_t kExifLink = 0x8769;
constexpr uint16_t kGpsLink = 0x8825;
constexpr uint16_t kInteropLink = 0xA005;
constexpr uint16_t kPixelXDimension = 0xA002;
constexpr uint16_t kPixelYDimension = 0xA003;
constexpr uint16_t kMakerNote = 0x927C;

constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint16_t kIfd = 13;

// Entries whose values point at picture data or at directories of other pictures: followed,
// they would carry a preview along; copied, their offsets would point at the wrong bytes.
constexpr uint16_t kPictureDataTags[] = {
    0x0111,  // StripOffsets
    0x0117,  // StripByteCounts
    0x0144,  // TileOffsets
    0x0145,  // TileByteCounts
    0x014A,  // SubIFDs
    0x0201,  // JPEGInterchangeFormat
    0x0202,  // JPEGInterchangeFormatLength
};

enum class Directory { kFirst, kExif, kGps, kInterop, kCount };

// Bytes per value of a TIFF type; 0 for a type whose size is unknown.
size_t TypeSize(uint16_t type) {
  switch (type) {
    case 1:  // BYTE
    case 2:  // ASCII
    case 6:  // SBYTE
    case 7:  // UNDEFINED
      return 1;
    case 3:  // SHORT
    case 8:  // SSHORT
      return 2;
    case 4:   // LONG
    case 9:   // SLONG
    case 11:  // FLOAT
    case 13:  // IFD
      return 4;
    case 5:   // RATIONAL
    case 10:  // SRATIONAL
    case 12:  // DOUBLE
      return 8;
    default:
      return 0;
  }
}

bool IsPictureDataTag(uint16_t tag) {
  for (uint16_t t : kPictureDataTags) {
    if (t == tag) {
      return true;
    }
  }
  return false;
}

// The directory a link entry leads to from `from`, or kCount when the link does not belong there.
Directory LinkTarget(Directory from, uint16_t tag) {
  if (from == Directory::kFirst && tag == kExifLink) {
    return Directory::kExif;
  }
  if (from == Directory::kFirst && tag == kGpsLink) {
    return Directory::kGps;
  }
  if (from == Directory::kExif && tag == kInteropLink) {
    return Directory::kInterop;
  }
  return Directory::kCount;
}

bool IsLinkTag(uint16_t tag) {
  return tag == kExifLink || tag == kGpsLink || tag == kInteropLink;
}

// Copies the directories of one TIFF structure (offsets counted from its header) into a fresh,
// compact one in the same byte order. Every read and every write is checked against its end.
class Rewriter {
 public:
  Rewriter(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, uint32_t width,
           uint32_t height)
      : in_(in),
        inSize_(inSize),
        out_(out),
        // Offsets are 32-bit: room beyond that could never be pointed at.
        outSize_(outSize > UINT32_MAX ? UINT32_MAX : outSize),
        width_(width),
        height_(height) {}

  // The length of the new structure; 0 when it refuses.
  size_t Run() {
    if (inSize_ < kTiffHeaderSize) {
      return 0;
    }
    if (in_[0] == 'I' && in_[1] == 'I') {
      bigEndian_ = false;
    } else if (in_[0] == 'M' && in_[1] == 'M') {
      bigEndian_ = true;
    } else {
      return 0;
    }
    size_t header = 0;
    if (Get16(2) != 42 || !Reserve(kTiffHeaderSize, &header)) {
      return 0;
    }
    out_[0] = in_[0];
    out_[1] = in_[1];
    Put16(2, 42);
    size_t first = 0;
    if (!CopyDirectory(Get32(4), Directory::kFirst, &first)) {
      return 0;
    }
    Put32(4, static_cast<uint32_t>(first));
    return used_;
  }

 private:
  uint16_t Get16(size_t at) const {
    return bigEndian_ ? static_cast<uint16_t>(in_[at] << 8 | in_[at + 1])
                      : static_cast<uint16_t>(in_[at + 1] << 8 | in_[at]);
  }

  uint32_t Get32(size_t at) const {
    uint32_t high = Get16(bigEndian_ ? at : at + 2);
    uint32_t low = Get16(bigEndian_ ? at + 2 : at);
    return high << 16 | low;
  }

  void Put16(size_t at, uint16_t value) {
    out_[at + (bigEndian_ ? 0 : 1)] = static_cast<uint8_t>(value >> 8);
    out_[at + (bigEndian_ ? 1 : 0)] = static_cast<uint8_t>(value);
  }

  void Put32(size_t at, uint32_t value) {
    Put16(at + (bigEndian_ ? 0 : 2), static_cast<uint16_t>(value >> 16));
    Put16(at + (bigEndian_ ? 2 : 0), static_cast<uint16_t>(value));
  }

  // Whether `length` bytes from `offset` lie inside the input, without a sum that could wrap.
  bool InInput(uint64_t offset, uint64_t length) const {
    return offset <= inSize_ && length <= inSize_ - offset;
  }

  // Claims `length` zeroed bytes of the output at the next word boundary, as TIFF wants offsets.
  bool Reserve(uint64_t length, size_t* at) {
    size_t start = used_ + (used_ & 1);
    if (start > outSize_ || length > outSize_ - start) {
      return false;
    }
    std::memset(out_ + used_, 0, start - used_ + static_cast<size_t>(length));
    used_ = start + static_cast<size_t>(length);
    *at = start;
    return true;
  }

  // A size entry: the piece's own size, kept SHORT when it was and the size fits.
  void PutSize(size_t entry, uint16_t tag, uint16_t type, uint32_t count, uint32_t size) {
    Put16(entry, tag);
    if (type == kShort && count == 1 && size <= 0xFFFF) {
      Put16(entry + 2, kShort);
      Put32(entry + 4, 1);
      Put16(entry + 8, static_cast<uint16_t>(size));
    } else {
      Put16(entry + 2, kLong);
      Put32(entry + 4, 1);
      Put32(entry + 8, size);
    }
  }

  // The size a directory's entry has to give, or false when it is no size entry.
  bool SizeFor(Directory directory, uint16_t tag, uint32_t* size) const {
    bool first = directory == Directory::kFirst;
    bool exif = directory == Directory::kExif;
    if ((first && tag == kImageWidth) || (exif && tag == kPixelXDimension)) {
      *size = width_;
      return true;
    }
    if ((first && tag == kImageLength) || (exif && tag == kPixelYDimension)) {
      *size = height_;
      return true;
    }
    return false;
  }

  bool CopyDirectory(uint32_t from, Directory directory, size_t* to) {
    // Each kind of directory comes once, and a directory reached a second time would be a loop
    // or one shared by two links.
    auto index = static_cast<size_t>(directory);
    if (copied_[index] || from < kTiffHeaderSize || !InInput(from, 2)) {
      return false;
    }
    for (size_t i = 0; i < seen_; ++i) {
      if (offsets_[i] == from) {
        return false;
      }
    }
    copied_[index] = true;
    offsets_[seen_++] = from;
    uint32_t count = Get16(from);
    if (!InInput(from + 2, uint64_t{count} * kEntrySize)) {
      return false;
    }
    size_t start = 0;
    if (!Reserve(2 + uint64_t{count} * kEntrySize + 4, &start)) {
      return false;
    }
    uint16_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
      size_t entry = from + 2 + i * kEntrySize;
      size_t target = start + 2 + kept * kEntrySize;
      if (!CopyEntry(entry, directory, target, &kept)) {
        return false;
      }
    }
    // The link to a next directory stays 0: the first directory's next is the preview's.
    Put16(start, kept);
    *to = start;
    return true;
  }

  bool CopyEntry(size_t entry, Directory directory, size_t target, uint16_t* kept) {
    uint16_t tag = Get16(entry);
    uint16_t type = Get16(entry + 2);
    uint32_t count = Get32(entry + 4);
    size_t value = entry + 8;
    // A maker note's own offsets would point at the wrong bytes once moved, and some hold a
    // preview of their own: it is left out, so that the orientation and the rest still go.
    if (tag == kMakerNote || IsPictureDataTag(tag)) {
      return true;
    }
    if (IsLinkTag(tag)) {
      Directory next = LinkTarget(directory, tag);
      size_t linked = 0;
      if (next == Directory::kCount || (type != kLong && type != kIfd) || count != 1 ||
          !CopyDirectory(Get32(value), next, &linked)) {
        return false;
      }
      Put16(target, tag);
      Put16(target + 2, type);
      Put32(target + 4, 1);
      Put32(target + 8, static_cast<uint32_t>(linked));
      ++*kept;
      return true;
    }
    uint32_t size = 0;
    if (SizeFor(directory, tag, &size)) {
      PutSize(target, tag, type, count, size);
      ++*kept;
      return true;
    }
    size_t unit = TypeSize(type);
    if (unit == 0) {
      return false;
    }
    uint64_t length = uint64_t{count} * unit;
    Put16(target, tag);
    Put16(target + 2, type);
    Put32(target + 4, count);
    if (length <= 4) {
      std::memcpy(out_ + target + 8, in_ + value, 4);
    } else {
      uint32_t offset = Get32(value);
      size_t at = 0;
      if (!InInput(offset, length) || !Reserve(length, &at)) {
        return false;
      }
      std::memcpy(out_ + at, in_ + offset, static_cast<size_t>(length));
      Put32(target + 8, static_cast<uint32_t>(at));
    }
    ++*kept;
    return true;
  }

  const uint8_t* in_;
  size_t inSize_;
  uint8_t* out_;
  size_t outSize_;
  uint32_t width_, height_;
  bool bigEndian_ = false;
  size_t used_ = 0;
  bool copied_[static_cast<size_t>(Directory::kCount)] = {};
  // Where the directories copied so far were; no more than one of each kind.
  uint32_t offsets_[static_cast<size_t>(Directory::kCount)] = {};
  size_t seen_ = 0;
};

struct TagRelease {
  void operator()(FITAG* tag) const { FreeImage_DeleteTag(tag); }
};
using Tag = std::unique_ptr<FITAG, TagRelease>;

// The key the JPEG reader stores the raw block under, and the only one its writer looks up.
constexpr char kRawExifKey[] = "ExifRaw";

// Replaces the raw block `raw` of `piece` by one rebuilt for its size; false when it cannot.
bool ReplaceRawExif(FIBITMAP* piece, FITAG* raw) {
  const auto* block = static_cast<const uint8_t*>(FreeImage_GetTagValue(raw));
  if (block == nullptr) {
    return false;
  }
  std::unique_ptr<uint8_t[]> rebuilt(new (std::nothrow) uint8_t[kMaxExifBlockSize]);
  if (!rebuilt) {
    return false;
  }
  size_t length = RewriteExifForPiece(block, FreeImage_GetTagLength(raw), FreeImage_GetWidth(piece),
                                      FreeImage_GetHeight(piece), rebuilt.get(), kMaxExifBlockSize);
  if (length == 0) {
    return false;
  }
  Tag tag(FreeImage_CreateTag());
  auto bytes = static_cast<DWORD>(length);
  return tag && FreeImage_SetTagKey(tag.get(), kRawExifKey) &&
         FreeImage_SetTagType(tag.get(), FIDT_BYTE) && FreeImage_SetTagLength(tag.get(), bytes) &&
         FreeImage_SetTagCount(tag.get(), bytes) &&
         FreeImage_SetTagValue(tag.get(), rebuilt.get()) &&
         FreeImage_SetMetadata(FIMD_EXIF_RAW, piece, kRawExifKey, tag.get());
}

}  // namespace

size_t RewriteExifForPiece(const uint8_t* block, size_t size, uint32_t width, uint32_t height,
                           uint8_t* out, size_t capacity) {
  if (block == nullptr || out == nullptr || size < kSignatureSize || capacity < kSignatureSize ||
      std::memcmp(block, kExifSignature, kSignatureSize) != 0) {
    return 0;
  }
  std::memcpy(out, kExifSignature, kSignatureSize);
  Rewriter rewriter(block + kSignatureSize, size - kSignatureSize, out + kSignatureSize,
                    capacity - kSignatureSize, width, height);
  size_t length = rewriter.Run();
  return length == 0 ? 0 : kSignatureSize + length;
}

bool PrepareExifForPiece(FIBITMAP* piece) {
  FITAG* raw = nullptr;
  // The JPEG writer stores EXIF from the raw block alone; the parsed models never reach the file.
  if (!FreeImage_GetMetadata(FIMD_EXIF_RAW, piece, kRawExifKey, &raw) || raw == nullptr) {
    return false;
  }
  if (!ReplaceRawExif(piece, raw)) {
    FreeImage_SetMetadata(FIMD_EXIF_RAW, piece, nullptr, nullptr);
    return false;
  }
  return true;
}
