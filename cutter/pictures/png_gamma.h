// The samples of a PNG with a gamma, as stored and as shown. PNGs are loaded as stored, so that
// PNG pieces keep them exactly along with the chunks that say how to show them; pieces in formats
// that carry no gamma get the samples corrected for showing, as the library used to give them.
#pragma once

#include <FreeImage.h>

#include "cutter/pictures/picture_library.h"

// Whether `picture` holds a PNG's stored samples that its gamma asks to correct before they are
// shown on a display of gamma 2.2 (those of a file gamma near 1/2.2 need nothing).
bool NeedsGammaCorrection(FIBITMAP* picture);

// A copy of `picture` with the samples its PNG's gamma gives on such a display, exactly as libpng
// corrects them while loading: colours and grey, never alpha or palettes. Null without memory.
Picture GammaCorrected(FIBITMAP* picture);
