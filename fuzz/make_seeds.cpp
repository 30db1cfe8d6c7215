// Writes the inputs the fuzz corpora started from into DIR/<target>/: small pictures in every
// depth and layout the program meets, EXIF blocks with every kind of directory, and a few
// command lines, sizes and texts. Fuzzing grows the corpora from there.
//
//   fuzz_make_seeds DIR
#include <FreeImage.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "cutter/pictures/picture_library.h"
#include "tests/support/crafted_bytes.h"

namespace {

using Bytes = std::string;
using testing_support::InByteOrder;
using testing_support::LittleEndian;

std::filesystem::path gRoot;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  const std::filesystem::path folder = gRoot / target;
  std::filesystem::create_directories(folder);
  std::ofstream file(folder / name, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) {
    std::fprintf(stderr, "make_seeds: cannot write %s/%s\n", target.c_str(), name.c_str());
    std::exit(1);
  }
}

Picture Make(unsigned width, unsigned height, unsigned bpp) {
  Picture picture(
      FreeImage_Allocate(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bpp)));
  if (bpp <= 8) {
    RGBQUAD* palette = FreeImage_GetPalette(picture.get());
    for (unsigned i = 0; i < (1u << bpp); ++i) {
      palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue =
          static_cast<BYTE>(i * 255 / ((1u << bpp) - 1));
    }
  }
  for (unsigned y = 0; y < height; ++y) {
    BYTE* line = FreeImage_GetScanLine(picture.get(), static_cast<int>(y));
    for (unsigned x = 0; x < FreeImage_GetLine(picture.get()); ++x) {
      line[x] = static_cast<BYTE>(x * 7 + y * 13 + (x * y) % 17);
    }
  }
  FreeImage_SetDotsPerMeterX(picture.get(), 2835);
  FreeImage_SetDotsPerMeterY(picture.get(), 2835);
  return picture;
}

Bytes Save(FIBITMAP* picture, FREE_IMAGE_FORMAT format, int flags) {
  FIMEMORY* memory = FreeImage_OpenMemory();
  Bytes bytes;
  if (FreeImage_SaveToMemory(format, picture, memory, flags)) {
    BYTE* data = nullptr;
    DWORD size = 0;
    FreeImage_AcquireMemory(memory, &data, &size);
    bytes.assign(reinterpret_cast<const char*>(data), size);
  }
  FreeImage_CloseMemory(memory);
  if (bytes.empty()) {
    std::fprintf(stderr, "make_seeds: the picture library could not save a seed\n");
    std::exit(1);
  }
  return bytes;
}

// A TIFF structure in one byte order, built entry by entry.
class TiffWriter {
 public:
  explicit TiffWriter(bool bigEndian) : bigEndian_(bigEndian) {
    bytes_ = bigEndian ? "MM" : "II";
    U16(42);
    U32(8);
  }
  void U16(uint32_t v) { bytes_ += InByteOrder(bigEndian_, v, 2); }
  void U32(uint32_t v) { bytes_ += InByteOrder(bigEndian_, v, 4); }
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    uint32_t value;  // inline value or offset
  };
  // Appends a directory of `entries` linking to `next`; returns its offset.
  uint32_t Directory(const std::vector<Entry>& entries, uint32_t next) {
    const auto at = static_cast<uint32_t>(bytes_.size());
    U16(static_cast<uint32_t>(entries.size()));
    for (const Entry& e : entries) {
      U16(e.tag);
      U16(e.type);
      U32(e.count);
      if (e.type == 3 && e.count == 1) {
        U16(e.value);
        U16(0);
      } else {
        U32(e.value);
      }
    }
    U32(next);
    return at;
  }
  uint32_t Data(const Bytes& data) {
    const auto at = static_cast<uint32_t>(bytes_.size());
    bytes_ += data;
    if (bytes_.size() % 2 != 0) {
      bytes_ += '\0';
    }
    return at;
  }
  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }
  Bytes& bytes() { return bytes_; }

 private:
  bool bigEndian_;
  Bytes bytes_;
};

// An EXIF block of a 640 x 480 picture with an Exif, interoperability and GPS directory, a
// maker note and a second directory with a preview: `preview`, or bare JPEG markers.
Bytes ExifBlock(bool bigEndian, const Bytes& preview = Bytes("\xFF\xD8\xFF\xD9", 4)) {
  TiffWriter w(bigEndian);
  // The first directory at 8 has 7 entries: 2 + 7 x 12 + 4 = 90 bytes; the rest follows.
  const uint32_t data = 8 + 90;
  TiffWriter tail(bigEndian);
  tail.bytes().clear();
  auto place = [&](const Bytes& b) { return data + tail.Data(b); };
  const uint32_t make = place(Bytes("Camera maker\0", 13));
  const uint32_t date = place(Bytes("2026:12:08 09:00:00\0", 20));
  const uint32_t maker = place(Bytes("Nikon\0\2\0\0\0MM", 12) + Bytes(20, '\x11'));
  const uint32_t interop = data + tail.Size();
  tail.Directory({{0x0001, 2, 4, 0x00383952}}, 0);
  const uint32_t exif = data + tail.Size();
  tail.Directory({{0x9003, 2, 20, date},
                  {0x927C, 7, 32, maker},
                  {0xA002, 3, 1, 640},
                  {0xA003, 4, 1, 480},
                  {0xA005, 4, 1, interop}},
                 0);
  const uint32_t gps = data + tail.Size();
  tail.Directory({{0x0000, 1, 4, 0x00000302}}, 0);
  const uint32_t previewAt = place(preview);
  const uint32_t second = data + tail.Size();
  tail.Directory({{0x0201, 4, 1, previewAt}, {0x0202, 4, 1, static_cast<uint32_t>(preview.size())}},
                 0);
  w.Directory({{0x0100, 3, 1, 640},
               {0x0101, 4, 1, 480},
               {0x010F, 2, 13, make},
               {0x0112, 3, 1, 1},
               {0x0132, 2, 20, date},
               {0x8769, 4, 1, exif},
               {0x8825, 4, 1, gps}},
              second);
  return Bytes("Exif\0\0", 6) + w.bytes() + tail.bytes();
}

void Attach(FIBITMAP* picture, const Bytes& block) {
  FITAG* tag = FreeImage_CreateTag();
  const auto length = static_cast<DWORD>(block.size());
  FreeImage_SetTagKey(tag, "ExifRaw");
  FreeImage_SetTagType(tag, FIDT_BYTE);
  FreeImage_SetTagLength(tag, length);
  FreeImage_SetTagCount(tag, length);
  FreeImage_SetTagValue(tag, block.data());
  FreeImage_SetMetadata(FIMD_EXIF_RAW, picture, "ExifRaw", tag);
  FreeImage_DeleteTag(tag);
}

void PictureSeeds() {
  const Picture rgb = Make(5, 3, 24);
  const Picture grey = Make(4, 4, 8);
  const Picture rgba = Make(3, 2, 32);
  const Picture mono = Make(9, 2, 1);
  const Picture nibbles = Make(7, 3, 4);
  Picture deep(FreeImage_AllocateT(FIT_RGB16, 3, 2));

  Write("load_jpeg", "seed-rgb.jpg", Save(rgb.get(), FIF_JPEG, 90));
  Write("load_jpeg", "seed-grey.jpg", Save(grey.get(), FIF_JPEG, 90));
  Write("load_jpeg", "seed-progressive.jpg",
        Save(rgb.get(), FIF_JPEG, 90 | JPEG_PROGRESSIVE | JPEG_SUBSAMPLING_420));
  Picture withExif(FreeImage_Clone(rgb.get()));
  Attach(withExif.get(), ExifBlock(true));
  Write("load_jpeg", "seed-exif.jpg", Save(withExif.get(), FIF_JPEG, 80));
  // As cameras write them: a preview that decodes, baseline or progressive.
  for (const auto& [name, flags] :
       {std::pair{"seed-exif-thumbnail.jpg", 50},
        std::pair{"seed-exif-progressive-thumbnail.jpg", 50 | JPEG_PROGRESSIVE}}) {
    Picture camera(FreeImage_Clone(rgb.get()));
    Attach(camera.get(), ExifBlock(false, Save(grey.get(), FIF_JPEG, flags)));
    Write("load_jpeg", name, Save(camera.get(), FIF_JPEG, 80));
  }

  Write("load_png", "seed-rgb.png", Save(rgb.get(), FIF_PNG, 0));
  Write("load_png", "seed-grey.png", Save(grey.get(), FIF_PNG, 0));
  Write("load_png", "seed-rgba.png", Save(rgba.get(), FIF_PNG, 0));
  Write("load_png", "seed-mono.png", Save(mono.get(), FIF_PNG, 0));
  Write("load_png", "seed-interlaced.png", Save(rgb.get(), FIF_PNG, PNG_INTERLACED));
  Write("load_png", "seed-deep.png", Save(deep.get(), FIF_PNG, 0));

  Write("load_bmp", "seed-rgb.bmp", Save(rgb.get(), FIF_BMP, 0));
  Write("load_bmp", "seed-rgba.bmp", Save(rgba.get(), FIF_BMP, 0));
  Write("load_bmp", "seed-mono.bmp", Save(mono.get(), FIF_BMP, 0));
  Write("load_bmp", "seed-rle8.bmp", Save(grey.get(), FIF_BMP, BMP_SAVE_RLE));
  Write("load_bmp", "seed-nibbles.bmp", Save(nibbles.get(), FIF_BMP, 0));

  // The EXIF target takes width, height and the room for the result first.
  const Bytes prefix = LittleEndian(320, 4) + LittleEndian(70000, 4) + Bytes("\xFF\xFF", 2);
  Write("exif", "seed-big-endian", prefix + ExifBlock(true));
  Write("exif", "seed-little-endian", prefix + ExifBlock(false));
  Write("exif", "seed-tight-room",
        LittleEndian(3, 4) + LittleEndian(2, 4) + Bytes("\x00\x80", 2) + ExifBlock(false));
}

void TextSeeds() {
  // command_line: the cap, then the text.
  Write("command_line", "seed-plain", Bytes("\x32") + "dolvane -w 50% photo.jpg left.jpg");
  Write("command_line", "seed-quotes",
        Bytes("\x32") + "\"C:\\My Pictures\\dolvane.exe\" -h \"2.5 cm\" \"a \"\"b\"\" c\"d \"\"");
  Write("command_line", "seed-tabs", Bytes("\x03") + "a\tb\nc  \"open ended");
  // options: tokens between zero bytes.
  Write("options", "seed-wide",
        Bytes("-w\0"
              "50%\0photo.jpg\0left.jpg\0right.jpg",
              33));
  Write("options", "seed-grid",
        Bytes("-oq\0"
              "80\0-G\0"
              "2\0"
              "3\0scans/Page.PNG",
              29));
  Write("options", "seed-about", Bytes("-?"));
  Write("options", "seed-late",
        Bytes("a.jpg\0-H\0"
              "1in\0-w\0"
              "10\0-oq",
              23));
  // sizes: dimension, dots per inch, dots per metre, then the text.
  const Bytes numbers = LittleEndian(1000, 4) + LittleEndian(100, 4) + LittleEndian(2835, 4);
  for (const char* text : {"12.7cm", "50%", "2.5in", "35MM", "  -300", "1e3in", "0.000001%",
                           "99999999999", "+.5e-2cm", "5%cm"}) {
    Write("sizes", "seed-" + std::to_string(std::hash<std::string>{}(text) % 100000),
          numbers + text);
  }
  // strings_and_paths: start, count, width, then the text.
  Write("strings_and_paths", "seed-path", Bytes("\x12\x13\x20") + "D:\\dir\\sub/a.b.jpeg  ");
  Write("strings_and_paths", "seed-quoted", Bytes("\x10\x30\x05") + "\"quoted text\"\n");
  Write("strings_and_paths", "seed-blank", Bytes("\x00\x00\x00") + " \t ");
  // splitters: separator, limit, key length, then the key and the text.
  Write("splitters", "seed-fields", Bytes(",\x08\x02") + "-Xa,,b, \"c,d\"e,\"f");
  Write("splitters", "seed-words",
        Bytes(" \x05\x03") + "-OQ" + "a \"b c\" d\n-oq9\nx=\"1\" y=\"two words\"");
  Write("splitters", "seed-keep", Bytes(";\x1F\x00") + "a;\"b;c\"d;e;\"open");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  gRoot = argv[1];
  PictureLibrary library;
  PictureSeeds();
  TextSeeds();
  return 0;
}
