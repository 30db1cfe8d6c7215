// The EXIF block of a JPEG piece: crafted blocks rebuilt or refused, read back by a reader of
// the tests' own, and one picture cut by the real program.
#include "cutter/pictures/exif_rewrite.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"
#include "support/pictures.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

const std::string kSignature("Exif\0\0", 6);

// ---------------------------------------------------------------------------------------------
// Making blocks: a TIFF structure appended piece by piece, offsets counted from its header.

struct Field {
  uint16_t tag, type;
  uint32_t count;
  std::string value;  // count values, already in the block's byte order
};

class TiffWriter {
 public:
  explicit TiffWriter(bool bigEndian) : big_(bigEndian) {
    tiff_ = std::string(bigEndian ? "MM" : "II") + U16(42) + U32(0);
  }
  std::string U16(uint16_t v) const { return InByteOrder(big_, v, 2); }
  std::string U32(uint32_t v) const { return InByteOrder(big_, v, 4); }

  size_t Append(const std::string& data) {
    tiff_.resize(tiff_.size() + tiff_.size() % 2, '\0');
    tiff_ += data;
    return tiff_.size() - data.size();
  }

  // A directory, then the values too long for its entries; remembers where each entry is.
  size_t Directory(const std::string& name, const std::vector<Field>& fields) {
    size_t at = Append(U16(static_cast<uint16_t>(fields.size())));
    tiff_ += std::string(fields.size() * 12 + 4, '\0');
    for (size_t i = 0; i < fields.size(); ++i) {
      const Field& f = fields[i];
      size_t entry = at + 2 + 12 * i;
      entries[name][f.tag] = entry;
      std::string e = U16(f.tag) + U16(f.type) + U32(f.count);
      if (f.value.size() <= 4) {
        e += f.value + std::string(4 - f.value.size(), '\0');
      } else {
        e += U32(static_cast<uint32_t>(Append(f.value)));
      }
      tiff_.replace(entry, 12, e);
    }
    directories[name] = at;
    return at;
  }

  void Patch16(size_t at, uint16_t v) { tiff_.replace(at, 2, U16(v)); }
  void Patch32(size_t at, uint32_t v) { tiff_.replace(at, 4, U32(v)); }
  size_t NextLink(const std::string& name) const {
    size_t at = directories.at(name);
    return at + 2 +
           12 * static_cast<size_t>(static_cast<uint8_t>(tiff_[at + big_]) +
                                    256 * static_cast<uint8_t>(tiff_[at + !big_]));
  }
  std::string Block() const { return kSignature + tiff_; }

  std::map<std::string, std::map<uint16_t, size_t>> entries;
  std::map<std::string, size_t> directories;

 private:
  bool big_;
  std::string tiff_;
};

struct Shape {
  bool bigEndian = false;
  uint16_t sizeType = kShort;  // of PixelXDimension and PixelYDimension
  bool gps = true;
  std::string thumbnail;        // with a second directory pointing at it; none when empty
  bool previewInFirst = false;  // the first directory points at the thumbnail bytes as well
  bool makerNote = false;
  uint32_t width = 2000, height = 1000;
};

const std::string kDateTime("2024:05:06 07:08:09\0", 20);
const std::string kTestThumbnail = "THUMBNAIL OF THE WHOLE PICTURE " + std::string(64, '#');

// A block as cameras write it. Directories come in an order of their own: the first last.
TiffWriter MakeBlock(const Shape& s) {
  TiffWriter w(s.bigEndian);
  size_t thumbnail = s.thumbnail.empty() ? 0 : w.Append(s.thumbnail);
  auto size = [&](uint16_t tag, uint32_t v) {
    return s.sizeType == kShort ? Field{tag, kShort, 1, w.U16(static_cast<uint16_t>(v))}
                                : Field{tag, kLong, 1, w.U32(v)};
  };
  size_t interop = w.Directory("interop", {{0x0001, kAscii, 4, std::string("R98\0", 4)}});
  std::vector<Field> exif = {{0x9003, kAscii, 20, kDateTime}};
  if (s.makerNote) {
    exif.push_back({0x927C, kUndefined, 32, "Nikon\0\2\0\0\0MM" + std::string(20, '\x11')});
  }
  exif.push_back(size(0xA002, s.width));
  exif.push_back(size(0xA003, s.height));
  exif.push_back({0xA005, kLong, 1, w.U32(static_cast<uint32_t>(interop))});
  size_t exifAt = w.Directory("exif", exif);
  size_t gps = 0;
  if (s.gps) {
    std::string latitude = w.U32(48) + w.U32(1) + w.U32(51) + w.U32(1) + w.U32(2400) + w.U32(100);
    gps = w.Directory("gps", {{0x0000, kByte, 4, std::string("\2\3\0\0", 4)},
                              {0x0001, kAscii, 2, std::string("N\0", 2)},
                              {0x0002, kRational, 3, latitude}});
  }
  auto thumbnailFields = [&] {
    return std::vector<Field>{{0x0201, kLong, 1, w.U32(static_cast<uint32_t>(thumbnail))},
                              {0x0202, kLong, 1, w.U32(static_cast<uint32_t>(s.thumbnail.size()))}};
  };
  size_t second = 0;
  if (!s.thumbnail.empty()) {
    std::vector<Field> fields = {{0x0103, kShort, 1, w.U16(6)}};
    for (const Field& f : thumbnailFields()) {
      fields.push_back(f);
    }
    second = w.Directory("ifd1", fields);
  }
  std::vector<Field> first = {
      {0x0100, kShort, 1, w.U16(static_cast<uint16_t>(s.width))},
      {0x0101, kShort, 1, w.U16(static_cast<uint16_t>(s.height))},
      {0x010F, kAscii, 15, std::string("Dolvane Camera\0", 15)},
      {0x0110, kAscii, 5, std::string("DC-1\0", 5)},
      {0x0112, kShort, 1, w.U16(6)},
      {0x011A, kRational, 1, w.U32(72) + w.U32(1)},
      {0x0132, kAscii, 20, kDateTime},
  };
  if (s.previewInFirst) {
    for (const Field& f : thumbnailFields()) {
      first.push_back(f);
    }
  }
  first.push_back({0x8769, kLong, 1, w.U32(static_cast<uint32_t>(exifAt))});
  if (s.gps) {
    first.push_back({0x8825, kLong, 1, w.U32(static_cast<uint32_t>(gps))});
  }
  size_t firstAt = w.Directory("ifd0", first);
  w.Patch32(4, static_cast<uint32_t>(firstAt));
  w.Patch32(w.NextLink("ifd0"), static_cast<uint32_t>(second));
  return w;
}

// ---------------------------------------------------------------------------------------------
// Reading blocks back, independently of the rewriter: every directory reachable from the first
// one, and its link to a next.

struct Entry {
  uint16_t type;
  uint32_t count;
  std::string value;
};
struct Dir {
  std::map<uint16_t, Entry> entries;
  uint32_t next = 0;
};
struct Parsed {
  bool bigEndian = false;
  std::map<std::string, Dir> dirs;  // ifd0, exif, gps, interop
};

std::optional<Parsed> Parse(const std::string& block) {
  if (block.size() < 14 || block.compare(0, 6, kSignature) != 0) {
    return std::nullopt;
  }
  const std::string t = block.substr(6);
  Parsed p;
  p.bigEndian = t[0] == 'M';
  auto n16 = [&](uint64_t at) { return NumberAt(t, at, 2, p.bigEndian); };
  auto n32 = [&](uint64_t at) { return NumberAt(t, at, 4, p.bigEndian); };
  std::function<bool(const std::string&, uint64_t)> read = [&](const std::string& name,
                                                               uint64_t at) {
    if (at + 2 > t.size() || p.dirs.count(name)) {
      return false;
    }
    uint64_t count = n16(at);
    if (at + 2 + 12 * count + 4 > t.size()) {
      return false;
    }
    Dir& d = p.dirs[name];
    d.next = n32(at + 2 + 12 * count);
    for (uint64_t i = 0; i < count; ++i) {
      uint64_t e = at + 2 + 12 * i;
      Entry entry{static_cast<uint16_t>(n16(e + 2)), n32(e + 4), ""};
      const uint64_t units[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
      uint64_t length = entry.type < 14 ? units[entry.type] * entry.count : 0;
      uint64_t from = length <= 4 ? e + 8 : n32(e + 8);
      if (from + length > t.size()) {
        return false;
      }
      entry.value = t.substr(from, length);
      d.entries[static_cast<uint16_t>(n16(e))] = entry;
    }
    const std::pair<uint16_t, const char*> links[] = {
        {0x8769, "exif"}, {0x8825, "gps"}, {0xA005, "interop"}};
    for (const auto& [tag, linked] : links) {
      auto found = p.dirs[name].entries.find(tag);
      if (found != p.dirs[name].entries.end() &&
          !read(linked, NumberAt(found->second.value, 0, 4, p.bigEndian))) {
        return false;
      }
    }
    return true;
  };
  if (!read("ifd0", n32(4))) {
    return std::nullopt;
  }
  return p;
}

// The number a SHORT or LONG entry holds; none for another type or count.
std::optional<uint32_t> NumberOf(const Entry& e, bool bigEndian) {
  if (e.count != 1 || (e.type != kShort && e.type != kLong)) {
    return std::nullopt;
  }
  return NumberAt(e.value, 0, e.type == kShort ? 2 : 4, bigEndian);
}

// A rebuilt block against the block it came from: the same directories, no second one, no
// bytes of the thumbnail, the piece's size, and every other entry as it was but the links and
// those pointing at picture data.
void ExpectRebuilt(const std::string& in, const std::string& out, uint32_t width, uint32_t height,
                   const std::string& thumbnail) {
  std::optional<Parsed> before = Parse(in), after = Parse(out);
  ASSERT_TRUE(before);
  ASSERT_TRUE(after) << "the rebuilt block does not read";
  EXPECT_EQ(after->bigEndian, before->bigEndian);
  EXPECT_EQ(after->dirs.at("ifd0").next, 0u) << "a second directory is linked";
  if (!thumbnail.empty()) {
    EXPECT_EQ(out.find(thumbnail.substr(0, 16)), std::string::npos) << "thumbnail bytes kept";
  }
  const std::map<std::pair<std::string, uint16_t>, uint32_t> sizes = {{{"ifd0", 0x0100}, width},
                                                                      {{"ifd0", 0x0101}, height},
                                                                      {{"exif", 0xA002}, width},
                                                                      {{"exif", 0xA003}, height}};
  ASSERT_EQ(after->dirs.size(), before->dirs.size());
  for (const auto& [name, dir] : before->dirs) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(after->dirs.count(name));
    const Dir& rebuilt = after->dirs.at(name);
    size_t kept = 0;
    for (const auto& [tag, entry] : dir.entries) {
      SCOPED_TRACE(tag);
      auto found = rebuilt.entries.find(tag);
      if (tag == 0x0201 || tag == 0x0202 || tag == 0x927C) {
        EXPECT_EQ(found, rebuilt.entries.end()) << "a preview or a maker note is kept";
        continue;
      }
      ASSERT_NE(found, rebuilt.entries.end()) << "entry lost";
      ++kept;
      auto size = sizes.find({name, tag});
      if (size != sizes.end()) {
        EXPECT_EQ(NumberOf(found->second, after->bigEndian), size->second);
      } else if (tag != 0x8769 && tag != 0x8825 && tag != 0xA005) {
        EXPECT_EQ(found->second.type, entry.type);
        EXPECT_EQ(found->second.count, entry.count);
        EXPECT_EQ(found->second.value, entry.value);
      }
    }
    EXPECT_EQ(rebuilt.entries.size(), kept) << "entries added";
  }
}

// ---------------------------------------------------------------------------------------------

struct ExifCase {
  const char* what;
  Shape shape;
  std::function<void(TiffWriter&, std::string&)> damage;  // on the writer's offsets or the block
  bool rebuilt;                                           // or refused
  uint32_t width = 500, height = 1000;
  size_t capacity = kMaxExifBlockSize;
};

// A block's TIFF part begins after the signature.
void Put32(const TiffWriter& w, std::string& block, size_t at, uint32_t v) {
  block.replace(6 + at, 4, w.U32(v));
}
void Put16(const TiffWriter& w, std::string& block, size_t at, uint16_t v) {
  block.replace(6 + at, 2, w.U16(v));
}

// Attaches `bytes` as a tag of bytes, as the JPEG reader does with the blocks it finds.
bool Attach(FIBITMAP* picture, FREE_IMAGE_MDMODEL model, const char* key,
            const std::string& bytes) {
  FITAG* tag = FreeImage_CreateTag();
  auto length = static_cast<DWORD>(bytes.size());
  bool attached = FreeImage_SetTagKey(tag, key) && FreeImage_SetTagType(tag, FIDT_BYTE) &&
                  FreeImage_SetTagLength(tag, length) && FreeImage_SetTagCount(tag, length) &&
                  FreeImage_SetTagValue(tag, bytes.data()) &&
                  FreeImage_SetMetadata(model, picture, key, tag);
  FreeImage_DeleteTag(tag);
  return attached;
}

TEST(ExifRewriteTest, BlocksAreRebuiltForThePieceOrRefused) {
  const Shape ii{false, kShort, true, kTestThumbnail};
  const Shape mm{true, kLong, true, kTestThumbnail};
  const auto none = [](TiffWriter&, std::string&) {};
  // clang-format off
  const ExifCase cases[] = {
      {"II, SHORT sizes", ii, none, true},
      {"MM, LONG sizes", mm, none, true, 1500, 1000},
      {"MM, SHORT sizes", {true, kShort, true, kTestThumbnail}, none, true, 1, 1},
      {"II, no thumbnail, no GPS", {false, kLong, false, ""}, none, true},
      {"SHORT too small for the piece", ii, none, true, 70000, 3},
      {"preview linked from the first directory too", {true, kShort, true, kTestThumbnail, true}, none, true},
      // The second directory is never read: damage there cannot matter.
      {"second directory links to the first", ii, [](TiffWriter& w, std::string& b) { Put32(w, b, w.NextLink("ifd0"), static_cast<uint32_t>(w.directories["ifd0"])); }, true},
      {"second directory beyond the end", mm, [](TiffWriter& w, std::string& b) { Put32(w, b, w.NextLink("ifd0"), 0xFFFFFFF0); }, true},
      // Refused.
      {"no signature", ii, [](TiffWriter&, std::string& b) { b[4] = 'x'; }, false},
      {"unknown byte order", ii, [](TiffWriter&, std::string& b) { b[7] = 'M'; }, false},
      {"not TIFF", mm, [](TiffWriter& w, std::string& b) { Put16(w, b, 2, 43); }, false},
      {"first directory beyond the end", ii, [](TiffWriter& w, std::string& b) { Put32(w, b, 4, static_cast<uint32_t>(b.size())); }, false},
      {"first directory in the header", mm, [](TiffWriter& w, std::string& b) { Put32(w, b, 4, 0); }, false},
      {"entry count beyond the end", ii, [](TiffWriter& w, std::string& b) { Put16(w, b, w.directories["ifd0"], 0xFFFF); }, false},
      {"Exif link beyond the end", mm, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["ifd0"][0x8769] + 8, 0x7FFFFFFF); }, false},
      {"value beyond the end", ii, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["ifd0"][0x0132] + 8, static_cast<uint32_t>(b.size() - 10)); }, false},
      // 3 becomes 0x20000003 RATIONALs: 8 bytes each wraps around to 24 in 32 bits.
      {"count that overflows", mm, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["gps"][0x0002] + 4, 0x20000003); }, false},
      {"Exif directory links back to the first", ii, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["ifd0"][0x8769] + 8, static_cast<uint32_t>(w.directories["ifd0"])); }, false},
      {"interop links back to Exif", mm, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["exif"][0xA005] + 8, static_cast<uint32_t>(w.directories["exif"])); }, false},
      {"GPS is the Exif directory", ii, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["ifd0"][0x8825] + 8, static_cast<uint32_t>(w.directories["exif"])); }, false},
      {"GPS is the interop directory", mm, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["ifd0"][0x8825] + 8, static_cast<uint32_t>(w.directories["interop"])); }, false},
      {"two Exif links", ii, [](TiffWriter& w, std::string& b) { Put16(w, b, w.entries["ifd0"][0x8825], 0x8769); }, false},
      {"link of two values", ii, [](TiffWriter& w, std::string& b) { Put32(w, b, w.entries["ifd0"][0x8825] + 4, 2); }, false},
      {"type of unknown size", mm, [](TiffWriter& w, std::string& b) { Put16(w, b, w.entries["ifd0"][0x0112] + 2, 99); }, false},
      {"truncated in the first directory", ii, [](TiffWriter& w, std::string& b) { b.resize(6 + w.directories["ifd0"] + 20); }, false},
      {"truncated in the header", mm, [](TiffWriter&, std::string& b) { b.resize(11); }, false},
      {"maker note left out", {false, kShort, true, kTestThumbnail, false, true}, none, true},
      {"no room for the result", ii, none, false, 500, 1000, 40},
  };
  // clang-format on
  for (const ExifCase& c : cases) {
    SCOPED_TRACE(c.what);
    TiffWriter writer = MakeBlock(c.shape);
    std::string block = writer.Block();
    c.damage(writer, block);
    std::vector<uint8_t> out(c.capacity + 1, 0xEE);
    size_t length = RewriteExifForPiece(reinterpret_cast<const uint8_t*>(block.data()),
                                        block.size(), c.width, c.height, out.data(), c.capacity);
    EXPECT_EQ(out[c.capacity], 0xEE) << "written beyond the room given";
    ASSERT_EQ(length != 0, c.rebuilt);
    std::string rebuilt(reinterpret_cast<const char*>(out.data()), length);
    if (c.rebuilt) {
      ExpectRebuilt(block, rebuilt, c.width, c.height, c.shape.thumbnail);
    }

    // The same block on a piece: replaced by the rebuilt one or removed, nothing else touched.
    Picture piece(FreeImage_Allocate(static_cast<int>(c.width), static_cast<int>(c.height), 24));
    ASSERT_TRUE(piece);
    ASSERT_TRUE(Attach(piece.get(), FIMD_EXIF_RAW, "ExifRaw", block));
    ASSERT_TRUE(Attach(piece.get(), FIMD_XMP, "XMLPacket", block));
    char profile[] = "a colour profile";
    FreeImage_CreateICCProfile(piece.get(), profile, sizeof profile);

    PrepareExifForPiece(piece.get());
    FITAG* raw = nullptr;
    FreeImage_GetMetadata(FIMD_EXIF_RAW, piece.get(), "ExifRaw", &raw);
    if (c.capacity == kMaxExifBlockSize) {
      ASSERT_EQ(raw != nullptr, c.rebuilt);
    }
    if (raw != nullptr) {
      ExpectRebuilt(block,
                    std::string(static_cast<const char*>(FreeImage_GetTagValue(raw)),
                                FreeImage_GetTagLength(raw)),
                    c.width, c.height, c.shape.thumbnail);
    } else {
      EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_EXIF_RAW, piece.get()), 0u);
    }
    FITAG* xmp = nullptr;
    ASSERT_TRUE(FreeImage_GetMetadata(FIMD_XMP, piece.get(), "XMLPacket", &xmp));
    EXPECT_EQ(std::string(static_cast<const char*>(FreeImage_GetTagValue(xmp)),
                          FreeImage_GetTagLength(xmp)),
              block);
    EXPECT_EQ(FreeImage_GetICCProfile(piece.get())->size, long{sizeof profile});
  }
}

// The bytes of the first EXIF segment of a JPEG file, from its signature on; empty when none.
std::string ExifSegmentOf(const std::string& jpeg) {
  size_t at = 2;
  while (at + 4 <= jpeg.size() && static_cast<uint8_t>(jpeg[at]) == 0xFF) {
    auto marker = static_cast<uint8_t>(jpeg[at + 1]);
    size_t length = NumberAt(jpeg, at + 2, 2, true);
    if (marker == 0xDA || length < 2) {  // the picture data begins
      break;
    }
    if (marker == 0xE1 && jpeg.compare(at + 4, 6, kSignature) == 0) {
      return jpeg.substr(at + 4, length - 2);
    }
    at += 2 + length;
  }
  return "";
}

// A whole picture's block with a real JPEG preview, cut by the real program: neither piece
// carries the preview, in its EXIF or anywhere else, and each has its own size.
TEST(ExifRewriteTest, JpegPiecesCarryNoPreviewOfTheWholePicture) {
  TempDir dir;
  Picture small = MakePicture(Kind::kRgb24, 160, 80);
  FIMEMORY* memory = FreeImage_OpenMemory();
  ASSERT_TRUE(FreeImage_SaveToMemory(FIF_JPEG, small.get(), memory, 90));
  BYTE* data = nullptr;
  DWORD dataSize = 0;
  FreeImage_AcquireMemory(memory, &data, &dataSize);
  const std::string preview(reinterpret_cast<const char*>(data), dataSize);
  FreeImage_CloseMemory(memory);

  Shape shape{false, kShort, true, preview};
  const std::string block = MakeBlock(shape).Block();
  Picture whole = MakePicture(Kind::kRgb24, 2000, 1000);
  ASSERT_TRUE(Attach(whole.get(), FIMD_EXIF_RAW, "ExifRaw", block));
  WritePicture(whole.get(), dir / "in.jpg", 90);
  ASSERT_EQ(ExifSegmentOf(ReadBytes(dir / "in.jpg")), block) << "the whole picture lacks it";
  // A preview is never decoded: a second decode that no size rule would see.
  Picture loaded = ReadPicture(dir / "in.jpg");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(FreeImage_GetThumbnail(loaded.get()), nullptr);

  // The block says the picture is stored sideways: its top quarter shown is the left one stored.
  ExpectSaveOutcome(RunIn(dir, {"-h", "25%", "in.jpg", "left.jpg", "rest.jpg"}), "");
  for (const auto& [name, width] : {std::pair{"left.jpg", 500u}, std::pair{"rest.jpg", 1500u}}) {
    SCOPED_TRACE(name);
    const std::string file = ReadBytes(dir / name);
    EXPECT_EQ(file.find(preview.substr(preview.size() / 2, 64)), std::string::npos);
    ExpectRebuilt(block, ExifSegmentOf(file), width, 1000, preview);
    Picture piece = ReadPicture(dir / name);
    ASSERT_TRUE(piece);
    EXPECT_EQ(FreeImage_GetWidth(piece.get()), width);
    EXPECT_EQ(FreeImage_GetThumbnail(piece.get()), nullptr);
  }
}

}  // namespace
}  // namespace testing_support
