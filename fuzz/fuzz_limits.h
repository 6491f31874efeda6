#ifndef TILERY_FUZZ_LIMITS_H
#define TILERY_FUZZ_LIMITS_H

#include "picture/picture.h"

/* The limits the fuzz target decodes under, and the tests that replay its
 * inputs: 2^24 pixels, 64 MiB once decoded. */
constexpr PictureLimits FUZZ_PICTURE_LIMITS = {int64_t(1) << 24, int64_t(1) << 16, (int64_t(1) << 26) + 4096};

#endif
