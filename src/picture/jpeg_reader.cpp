/* JPEG through libjpeg-turbo: baseline, extended and progressive, 8 bits a
 * sample, by the library's default decoding (the accurate integer IDCT,
 * smooth chroma upsampling), so that the colours are the ones its djpeg
 * prints. Grey, YCbCr and RGB come out as they are; CMYK and YCCK are
 * taken as Adobe's inverted form, as djpeg and browsers take them:
 * red = round(C * K / 255), and so on. The EXIF orientation is applied, as
 * viewers show the picture. Any warning the library gives (data broken or
 * cut short) refuses the file. */
#include <climits>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>

#include "picture/picture.h"

/* Limits set before decoding. A progressive file may hold any number of
 * scans, each one a pass over the whole picture; real ones hold about ten,
 * and jpegtran makes 100 at most.
 * The library may take this many bytes a pixel the cap allows, enough for
 * a progressive picture's coefficients (up to 6 bytes a pixel). */
enum { JPEG_MAX_SCANS = 64, JPEG_MEMORY_PER_PIXEL = 8 };
enum : size_t { JPEG_READ_SIZE = size_t(1) << 16, EXIF_HEADER_SIZE = 6 };

namespace {

struct Reader {
	jpeg_decompress_struct jpeg;
	jpeg_error_mgr errors;
	jpeg_source_mgr source;
	jpeg_progress_mgr progress;
	std::jmp_buf failed;
	PictureStream stream;
	unsigned char buffer[JPEG_READ_SIZE];
};

Reader *
ReaderOf(j_common_ptr jpeg)
{
	return reinterpret_cast<Reader *>(reinterpret_cast<char *>(jpeg) - offsetof(Reader, jpeg));
}

/* No C++ object lives in the frames this leaves. */
[[noreturn]] void
Fail(j_common_ptr jpeg)
{
	std::longjmp(ReaderOf(jpeg)->failed, 1);
}

void
Warn(j_common_ptr jpeg, int level)
{
	if (level < 0)
		Fail(jpeg);
}

void
WatchScans(j_common_ptr jpeg)
{
	if (ReaderOf(jpeg)->jpeg.input_scan_number > JPEG_MAX_SCANS)
		Fail(jpeg);
}

void
StartSource(j_decompress_ptr)
{
}

/* The end of the file, or a file that cannot be read, is a file cut short. */
boolean
FillSource(j_decompress_ptr jpeg)
{
	Reader *reader = ReaderOf(reinterpret_cast<j_common_ptr>(jpeg));
	const size_t length = ReadPictureStream(&reader->stream, JPEG_READ_SIZE, reader->buffer, true);
	if (length == 0)
		Fail(reinterpret_cast<j_common_ptr>(jpeg));
	reader->source.next_input_byte = reader->buffer;
	reader->source.bytes_in_buffer = length;
	return TRUE;
}

void
SkipSource(j_decompress_ptr jpeg, long count)
{
	jpeg_source_mgr &source = ReaderOf(reinterpret_cast<j_common_ptr>(jpeg))->source;
	while (count > long(source.bytes_in_buffer)) {
		count -= long(source.bytes_in_buffer);
		FillSource(jpeg);
	}
	if (count > 0) {
		source.next_input_byte += count;
		source.bytes_in_buffer -= size_t(count);
	}
}

void
EndSource(j_decompress_ptr)
{
}

unsigned
Read16(const unsigned char *p, bool bigEndian)
{
	return bigEndian ? unsigned(p[0]) << 8 | p[1] : unsigned(p[1]) << 8 | p[0];
}

uint32_t
Read32(const unsigned char *p, bool bigEndian)
{
	return bigEndian ? uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]
	                 : uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

/* The orientation tag (0x0112) of the first EXIF block's first image, 1 to
 * 8; 1 (as stored) when there is none or it makes no sense. */
int
ExifOrientation(const jpeg_decompress_struct &jpeg)
{
	for (jpeg_saved_marker_ptr m = jpeg.marker_list; m; m = m->next) {
		if (m->marker != JPEG_APP0 + 1 || m->data_length < EXIF_HEADER_SIZE + 8 ||
		    std::memcmp(m->data, "Exif\0\0", EXIF_HEADER_SIZE) != 0)
			continue;
		const unsigned char *tiff = m->data + EXIF_HEADER_SIZE;
		const size_t size = m->data_length - EXIF_HEADER_SIZE;
		const bool bigEndian = tiff[0] == 'M';
		if ((tiff[0] != 'M' && tiff[0] != 'I') || tiff[1] != tiff[0] || Read16(tiff + 2, bigEndian) != 42)
			return 1;
		const uint32_t directory = Read32(tiff + 4, bigEndian);
		if (directory > size - 2)
			return 1;
		const unsigned entries = Read16(tiff + directory, bigEndian);
		for (unsigned i = 0; i < entries && directory + 2 + 12 * (i + 1) <= size; i++) {
			const unsigned char *entry = tiff + directory + 2 + 12 * i;
			if (Read16(entry, bigEndian) == 0x0112 && Read16(entry + 2, bigEndian) == 3) {
				const unsigned value = Read16(entry + 8, bigEndian);
				return value >= 1 && value <= 8 ? int(value) : 1;
			}
		}
		return 1;
	}
	return 1;
}

/* Where the stored row y starts in the picture shown, and how far apart
 * its pixels land there, for each EXIF orientation: 2 to 4 mirror the
 * picture, 5 to 8 also turn it a quarter round. */
struct Placement {
	int64_t start, step;
};

Placement
RowPlacement(int orientation, int64_t y, int64_t width, int64_t height)
{
	switch (orientation) {
	case 2: return {y * width + width - 1, -1};
	case 3: return {(height - 1 - y) * width + width - 1, -1};
	case 4: return {(height - 1 - y) * width, 1};
	case 5: return {y, height};
	case 6: return {height - 1 - y, height};
	case 7: return {(width - 1) * height + height - 1 - y, -height};
	case 8: return {(width - 1) * height + y, -height};
	default: return {y * width, 1};
	}
}

/* One stored row, as the library gives it, into the picture shown. */
void
PlaceRow(const jpeg_decompress_struct &jpeg, const JSAMPLE *row, int orientation, int64_t y, uint32_t *shown)
{
	const int64_t width = jpeg.output_width, height = jpeg.output_height;
	const Placement at = RowPlacement(orientation, y, width, height);
	uint32_t *p = shown + at.start;
	if (jpeg.out_color_space == JCS_CMYK) {
		for (int64_t x = 0; x < width; x++, row += 4, p += at.step) {
			const uint32_t k = row[3];
			*p = PackColor((row[0] * k + 127) / 255, (row[1] * k + 127) / 255, (row[2] * k + 127) / 255);
		}
	} else {
		for (int64_t x = 0; x < width; x++, row += 3, p += at.step)
			*p = PackColor(row[0], row[1], row[2]);
	}
}

/* Everything the library does happens here, where a failure may leave
 * through longjmp: no object with a destructor is made after setjmp. */
const char *
Decode(Reader *reader, Pixels *pixels, JSAMPLE *volatile *row, int32_t *width, int32_t *height)
{
	jpeg_decompress_struct &jpeg = reader->jpeg;
	if (setjmp(reader->failed))
		return "JPEG data broken, cut short or of a kind that is not read";
	jpeg_create_decompress(&jpeg);
	jpeg.src = &reader->source;
	jpeg.progress = &reader->progress;
	const PictureLimits &limits = GetPictureLimits();
	const int64_t memory = limits.maxPixels * JPEG_MEMORY_PER_PIXEL;
	jpeg.mem->max_memory_to_use = memory < LONG_MAX ? long(memory) : LONG_MAX;
	jpeg_save_markers(&jpeg, JPEG_APP0 + 1, 0xFFFF);
	jpeg_read_header(&jpeg, TRUE);

	const int orientation = ExifOrientation(jpeg);
	const bool turned = orientation >= 5;
	const int64_t w = jpeg.image_width, h = jpeg.image_height;
	if (!IsPictureSizeAccepted(turned ? h : w, turned ? w : h))
		return "picture larger than the size cap";
	jpeg.out_color_space =
		jpeg.jpeg_color_space == JCS_CMYK || jpeg.jpeg_color_space == JCS_YCCK ? JCS_CMYK : JCS_RGB;
	const size_t rowBytes = size_t(w) * size_t(jpeg.out_color_space == JCS_CMYK ? 4 : 3);
	try {
		pixels->resize(size_t(w) * size_t(h));
		*row = new JSAMPLE[rowBytes];
	} catch (const std::bad_alloc &) {
		return "out of memory for the pixels";
	}
	jpeg_start_decompress(&jpeg);
	if (int64_t(jpeg.output_width) != w || int64_t(jpeg.output_height) != h)
		return "JPEG picture of an unexpected size";
	while (jpeg.output_scanline < jpeg.output_height) {
		JSAMPLE *rows[1] = {*row};
		const int64_t y = jpeg.output_scanline;
		if (jpeg_read_scanlines(&jpeg, rows, 1) != 1)
			return "JPEG data cut short";
		PlaceRow(jpeg, *row, orientation, y, pixels->data());
	}
	jpeg_finish_decompress(&jpeg);
	*width = int32_t(turned ? h : w);
	*height = int32_t(turned ? w : h);
	return nullptr;
}

} // namespace

const char *
DecodeJpegPicture(const PictureSource &source, DecodedPicture *picture)
{
	Reader *reader = new (std::nothrow) Reader;
	if (!reader)
		return "out of memory for the JPEG reader";
	std::memset(&reader->jpeg, 0, sizeof reader->jpeg);
	reader->jpeg.err = jpeg_std_error(&reader->errors);
	reader->errors.error_exit = Fail;
	reader->errors.emit_message = Warn;
	reader->source = jpeg_source_mgr{};
	reader->source.init_source = StartSource;
	reader->source.fill_input_buffer = FillSource;
	reader->source.skip_input_data = SkipSource;
	reader->source.resync_to_restart = jpeg_resync_to_restart;
	reader->source.term_source = EndSource;
	reader->progress = jpeg_progress_mgr{};
	reader->progress.progress_monitor = WatchScans;
	reader->stream = PictureStream{&source, 0};

	Pixels pixels;
	JSAMPLE *volatile row = nullptr;
	int32_t width = 0, height = 0;
	const char *why = Decode(reader, &pixels, &row, &width, &height);
	jpeg_destroy_decompress(&reader->jpeg);
	delete[] row;
	delete reader;
	if (!why) {
		picture->width = width;
		picture->height = height;
		picture->pixels.swap(pixels);
	}
	return why;
}
