// Cutting a picture into a grid of equal tiles.
#pragma once

#include <cstdint>

// -g: cuts the picture `fileName` into `rows` by `cols` tiles of (width / cols) by
// (height / rows) pixels; the pixel columns and rows left over at the right and bottom belong to
// no tile. Tile (r, c), counted from 1 at the top left, is written beside the input as
// "base-rr-cc.ext": a 2 x 3 grid of pics/Photo.JPG gives pics/Photo-01-01.JPG to
// pics/Photo-02-03.JPG, and row 100 is written -100-. Tiles are written row by row, each tile
// released before the next is cut.
//
// Rows or columns of 0 or less write nothing and return 0 once the picture is loaded. When the
// grid has more rows or columns than the picture has pixels, every tile would be empty: nothing
// is written and the first tile is reported at once. A tile that is not written is reported after
// the whole grid was tried, as "Couldn't save file: %s" with the first such name and exit code
// 1; every other failure ends the process at once with its message. Returns 0.
int CutGrid(const char* fileName, int32_t rows, int32_t cols, int32_t saveFlags);
