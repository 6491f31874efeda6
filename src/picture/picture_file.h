#ifndef TILERY_PICTURE_PICTURE_FILE_H
#define TILERY_PICTURE_PICTURE_FILE_H

#include <cstddef>
#include <cstdint>

/* A picture file opened for reading, in the system's own way. */

/* Opens a regular file without waiting on it, so that a FIFO or a device
 * cannot hang the program; -1 when it is missing, unreadable or not a
 * regular file. */
int OpenPictureFile(const char *path, uint64_t *size);

/* Copies length bytes at offset; false when they cannot all be read. */
bool ReadPictureFile(int file, uint64_t offset, size_t length, unsigned char *to);

void ClosePictureFile(int file);

#endif
