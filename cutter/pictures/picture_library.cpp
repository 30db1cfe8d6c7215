// The picture library's start, and what it has complained of.
#include "cutter/pictures/picture_library.h"

#include <cstring>

namespace {

thread_local bool tProfileComplained = false;

void DLL_CALLCONV NoteLibraryMessage(FREE_IMAGE_FORMAT /*format*/, const char* message) {
  if (message != nullptr &&
      (std::strstr(message, "profile") != nullptr || std::strstr(message, "iCCP") != nullptr)) {
    tProfileComplained = true;
  }
}

}  // namespace

PictureLibrary::PictureLibrary() {
  FreeImage_Initialise(FALSE);
  FreeImage_SetOutputMessage(NoteLibraryMessage);
}

bool ProfileComplained() {
  return tProfileComplained;
}

void ForgetProfileComplaint() {
  tProfileComplained = false;
}
