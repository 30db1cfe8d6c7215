// Pictures too large to decode, told from their headers alone.
#include "cutter/pictures/picture_limits.h"

#include "cutter/pictures/picture_headers.h"
#include "platform/platform.h"

using picture_headers::BmpDemand;
using picture_headers::JpegDemand;
using picture_headers::PngDemand;
using picture_headers::Reader;

PictureDemand DemandOf(FREE_IMAGE_FORMAT format, const char* fileName) {
  Reader file(fileName);
  unsigned long long fileBytes = 0;
  if (!file.IsOpen() || !file.Size(fileBytes)) {
    return {};
  }
  PictureDemand demand;
  switch (format) {
    case FIF_JPEG:
      demand = JpegDemand(file);
      break;
    case FIF_BMP:
      demand = BmpDemand(file, fileName);
      break;
    case FIF_PNG:
      demand = PngDemand(file, fileName, fileBytes);
      break;
    default:
      break;
  }
  demand.fileBytes = fileBytes;
  return demand;
}

PictureVerdict JudgeDemand(const PictureDemand& demand, uint64_t memoryBytes) {
  if (demand.damaged) {
    return PictureVerdict::kUnreadable;
  }
  if (!demand.known) {
    return PictureVerdict::kFits;
  }
  const bool farTooShort =
      demand.decodeBytes > kCheapDecodeBytes && demand.leastFileBytes > demand.fileBytes;
  if (farTooShort || demand.decodeBytes > memoryBytes) {
    return PictureVerdict::kTooLarge;
  }
  return demand.scans > kMostJpegScans ? PictureVerdict::kUnreadable : PictureVerdict::kFits;
}

PictureVerdict JudgePicture(FREE_IMAGE_FORMAT format, const char* fileName, PictureDemand& demand) {
  demand = DemandOf(format, fileName);
  return JudgeDemand(demand, platform::MemoryForPictures());
}
