// Files made to trip the picture library's readers, cut for real by build/dolvane. Each one
// either loads cleanly or is refused with the ordinary message; none may end the program by a
// signal.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/crafted_bytes.h"
#include "support/e2e_helpers.h"
#include "support/run_program.h"

namespace testing_support {
namespace {

// Tags of EXIF directory entries.
enum : uint32_t { kMake = 0x010F, kThumbnailAt = 0x0201, kThumbnailSize = 0x0202 };
enum : uint32_t { kMakerNote = 0x927C };

struct CraftedCase {
  const char* name;  // the file's name; its extension picks the reader
  std::string (*make)();
  bool loads;  // true: the damage is skipped and the picture is cut; false: refused
  // What a refused file is told; empty: that it could not be opened.
  std::string refusal = "";
};

const CraftedCase kCrafted[] = {
    {"cut-short.jpg", [] { return std::string("\xFF\xD8\xFF\xE0", 4); }, false},
    // EXIF blocks: the first directory claims 0x7FFF entries, and the offset of the next
    // directory would follow them.
    {"exif-entries-past-end.jpg",
     [] { return JpegWithExif(LittleEndian(0x7FFF, 2) + std::string(16, '\0')); }, true},
    // An empty first directory links to the thumbnail's (at 14), which puts the thumbnail at
    // 0xFFFFFFF0: offset plus size wraps around to a small number.
    {"exif-thumbnail-wraps.jpg",
     [] {
       return JpegWithExif(LittleEndian(0, 2) + LittleEndian(14, 4) + LittleEndian(2, 2) +
                           ExifEntry(kThumbnailAt, kLong, 1, 0xFFFFFFF0) +
                           ExifEntry(kThumbnailSize, kLong, 1, 32) + LittleEndian(0, 4));
     },
     true},
    // A Fujifilm maker note at the end of a long block; its directory, counted from the note,
    // is at the offset of the block's last byte: a block's length past the end.
    {"exif-maker-note-directory-far.jpg",
     [] {
       const uint32_t note = 60026;  // after the first directory (26) and zeros
       return JpegWithExif(LittleEndian(1, 2) + ExifEntry(kMakerNote, kUndefined, 12, note) +
                           LittleEndian(0, 4) + std::string(note - 26, '\0') + "FUJIFILM" +
                           LittleEndian(note + 11, 4));
     },
     true},
    // A Fujifilm maker note that ends with its signature, before its directory's offset.
    {"exif-maker-note-short.jpg",
     [] {
       return JpegWithExif(LittleEndian(1, 2) + ExifEntry(kMakerNote, kUndefined, 8, 26) +
                           LittleEndian(0, 4) + "FUJIFILM");
     },
     true},
    // The camera maker stored as the 3 bytes "NIK", not as text ending in a null.
    {"exif-make-not-text.jpg",
     [] {
       return JpegWithExif(LittleEndian(2, 2) + ExifEntry(kMake, kUndefined, 3, 0x4B494E) +
                           ExifEntry(kMakerNote, kUndefined, 4, 0) + LittleEndian(0, 4));
     },
     true},
    // Canon camera settings, 16-bit values, stored as four 8-bit ones in the note's directory
    // (at 44, after the text "Canon" at 38).
    {"exif-canon-8-bit-settings.jpg",
     [] {
       return JpegWithExif(LittleEndian(2, 2) + ExifEntry(kMake, kAscii, 6, 38) +
                           ExifEntry(kMakerNote, kUndefined, 14, 44) + LittleEndian(0, 4) +
                           std::string("Canon\0", 6) + LittleEndian(1, 2) +
                           ExifEntry(1, kByte, 4, 0));
     },
     true},
    // Blocks too short for the identifying string, or for the TIFF header after it.
    {"exif-signature-cut.jpg", [] { return JpegWithApp1("Exif"); }, true},
    {"exif-header-cut.jpg", [] { return JpegWithApp1(std::string("Exif\0\0II*\0", 10)); }, true},
    // A first directory that starts at the very end; one whose single entry ends 2 bytes past it.
    {"exif-directory-at-end.jpg", [] { return JpegWithExif(""); }, true},
    {"exif-entry-cut.jpg", [] { return JpegWithExif(LittleEndian(1, 2) + std::string(10, '\0')); },
     true},
    // 65537 x 65536 pixels at a byte each while decoding: 2^32 + 65536, which wraps to 65536 in
    // 32 bits. A move 255 lines down, then the file ends inside a second move. So many pixels
    // cannot come from 6 bytes of runs: the header alone has the file refused.
    {"bmp-rle4-size-wraps.bmp",
     [] {
       return Bmp(65537, 65536, 4, kRle4, LittleEndian(0, 4), std::string("\0\2\0\xFF\0\2", 6));
     },
     false, "Input file: bmp-rle4-size-wraps.bmp - picture too large (65537 x 65536)"},
    // Moves of 255 pixels right, on and on in the first line, would take the column past 2^31;
    // then a run of 5 pixels.
    {"bmp-rle8-moves-past-line.bmp",
     [] {
       std::string moves;
       for (int i = 0; i < 8421505; ++i) {
         moves.append("\0\2\xFF\0", 4);
       }
       return Bmp(2, 2, 8, kRle8, std::string(8, '\xFF'), moves + std::string("\5\xAA\0\1", 4));
     },
     true},
    // 16-bit pixels under colour masks, the file ending inside the masks.
    {"bmp-masks-cut.bmp", [] { return Bmp(2, 2, 16, kBitFields, "", LittleEndian(0xF800, 4)); },
     false},
};

TEST(CraftedPicturesE2ETest, LoadCleanlyOrAreRefusedWithoutACrash) {
  for (const CraftedCase& c : kCrafted) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir / c.name, c.make());
    RunResult r = RunIn(dir, {"-g", "2", "2", c.name});
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.out, "");
    if (c.loads) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(ListDir(dir.path()).size(), 5u);
    } else {
      EXPECT_EQ(r.exitCode, 1);
      EXPECT_EQ(r.err,
                WarningBox(c.refusal.empty() ? std::string("Couldn't open input file: ") + c.name
                                             : c.refusal));
      EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{c.name});
    }
  }
}

}  // namespace
}  // namespace testing_support
