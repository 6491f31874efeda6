#ifndef TILERY_PICTURE_BMP_READER_H
#define TILERY_PICTURE_BMP_READER_H

#include <cstddef>

#include "picture/picture.h"

/* Decodes a whole BMP file held in memory. Returns null on success, or a
 * short English reason why the file was refused, leaving picture as it was. */
const char *DecodeBmp(const unsigned char *data, size_t size, DecodedPicture *picture);

#endif
