// The PNG encoder behind SavePngFile, apart from the opening of the file so
// that its failure paths can be driven directly.
#pragma once

#include <cstdint>
#include <cstdio>

#include "imaging/dib_image.h"

namespace quvex {

// Writes the image into an open file. rowPointers has room for one pointer
// per row; null stands for an array that could not be allocated, which
// fails the save with the writer's allocation message. 1 or 0.
int EncodePng(FILE* file, const CDibImage& image, uint8_t** rowPointers);

}  // namespace quvex
