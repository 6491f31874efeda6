/* The conversion: the picture read, reduced by hand or fitted to a budget
 * where asked, then its table written into the page. */
#include "convert/convert.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>
#include <utility>

#include "page/message.h"
#include "page/page_file.h"
#include "page/page_text.h"
#include "page/page_writer.h"
#include "page/scan.h"
#include "picture/pixel_source.h"
#include "reduce/budget.h"
#include "system/notice.h"
#include "system/path.h"

int
ConvertBitmapToTable(const char *inputPath, const char *outputPath, int cellSize)
{
	return ConvertPicture(inputPath, outputPath, cellSize, DEFAULT_PAGE_OPTIONS, nullptr);
}

/* The picture drawn at most `width` screen pixels wide: at a smaller cell
 * size, or made that wide at cell size 1. Throws std::bad_alloc. */
static void
FitWidth(DecodedPicture *picture, long long width, int *cellSize)
{
	if (width <= 0 || (long long)*cellSize * picture->width <= width)
		return;
	if (picture->width <= width) {
		*cellSize = int(width / picture->width);
		return;
	}
	*cellSize = 1;
	const int32_t w = int32_t(width);
	const int32_t h = int32_t(std::max<int64_t>(1, (2 * int64_t(picture->height) * w + picture->width) /
	                                                     (2 * int64_t(picture->width))));
	DecodedPicture fitted = AreaAverage(*picture, w, h);
	std::swap(*picture, fitted);
}

int
ConvertPicture(const char *inputPath, const char *outputPath, int cellSize, const PageOptions &options,
               PageTotals *totals)
{
	SetPictureBackground({options.background, options.keepClear});
	Bitmap *bitmap = LoadBitmapFile(inputPath);
	SetPictureBackground(DEFAULT_PICTURE_BACKGROUND);
	if (!bitmap) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", inputPath);
		return 1;
	}
	const int32_t readWidth = bitmap->width, readHeight = bitmap->height;
	const bool clearKept = options.keepClear && std::find(bitmap->pixels.begin(), bitmap->pixels.end(),
	                                                      CLEAR_PIXEL) != bitmap->pixels.end();
	const bool reducing = IsReducing(options);
	const PageForm form = options.fragment || options.message ? FORM_FRAGMENT
	                      : options.noCss || reducing       ? FORM_WITHOUT_CSS
	                                                        : FORM_STYLED;

	/* Fitted and reduced before the page is opened: a budget no page meets
	 * leaves the old one as it was. */
	ReductionDone done{1, 0, 0, 0};
	double psnr = std::numeric_limits<double>::infinity();
	int32_t drawnWidth = 0, drawnHeight = 0;
	std::string head, tail;
	try {
		tail = PageTail(form);
		FitWidth(bitmap, options.width, &cellSize);
		drawnWidth = bitmap->width, drawnHeight = bitmap->height;
		const long long tableWidth = (long long)cellSize * drawnWidth;
		if (options.message) {
			const char *name = options.pictureName ? options.pictureName : inputPath + FolderLength(inputPath);
			const MessageText message = MessageAround(
				MessageFields{options.subject ? options.subject : *name ? name : "A picture", options.from, options.to,
			                  options.alt, name, readWidth, readHeight},
				tableWidth, cellSize);
			head = message.head, tail = message.tail;
		} else {
			head = PageHead(form, tableWidth, cellSize, options.alt);
		}
		if (reducing) {
			ReducedPicture reduced;
			/* A message's own text is written as it is sent. */
			const long long fixed = options.message ? (long long)(head.size() + tail.size())
			                                        : CountAround(CountOf(options), head.data(), head.size(),
			                                                      tail.data(), tail.size());
			if (options.maxBytes == 0) {
				reduced = ReduceByHand(*bitmap, options.reduction, options.background);
			} else if (!FitToBudget(*bitmap, cellSize,
			                        BudgetTerms{options.reduction, options.keepClear, options.background, CountOf(options)},
			                        options.maxBytes - fixed, &reduced)) {
				ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "%lld バイトに収まる表は作れない訳で。[%s]",
				           options.maxBytes, outputPath);
				DeleteBitmap(bitmap);
				return 1;
			}
			done = reduced.done;
			psnr = PeakSignalToNoise(reduced.error, *bitmap);
			if (!reduced.asIs)
				std::swap(*bitmap, reduced.grid);
		}
	} catch (const std::bad_alloc &) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "記憶領域の獲得に失敗");
		DeleteBitmap(bitmap);
		return 1;
	}

	/* A page written over its own picture would leave neither. */
	PageFile page;
	if (IsSameFile(inputPath, outputPath) || OpenPageFile(outputPath, &page) != 0) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイルオープン失敗[%s]", outputPath);
		DeleteBitmap(bitmap);
		return 1;
	}

	PixelContext context;
	if (int error = CreatePixelContext(&context)) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "CreateDC 失敗[%d]", error);
		DeleteBitmap(bitmap);
		AbandonPageFile(&page); /* the old page stays */
		return 1;
	}

	const Bitmap *previous = SelectBitmap(&context, bitmap);

	PageBuffer out;
	StartPageWriter(&page, &out);
	AppendToPage(&out, head.data(), head.size());
	ScanTotals scanned = {0, 0, 0};
	const Grid grid = GridOf(drawnWidth, drawnHeight, done.scale, cellSize);
	const int result = WriteCells(&context, grid,
	                              options.message ? CELLS_AS_SENT : form == FORM_STYLED ? CELLS_STYLED : CELLS_WITHOUT_CSS,
	                              &out, &scanned);
	AppendToPage(&out, tail.data(), tail.size());
	const bool written = FinishPageWriter(&out);

	SelectBitmap(&context, previous);
	DeleteBitmap(bitmap);
	DeletePixelContext(&context);

	/* Out of memory, the page closed off early still takes the old one's
	 * place; a page that could not be written whole never does. */
	if (!written)
		AbandonPageFile(&page);
	if (!written || CommitPageFile(&page) != 0) {
		ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "ファイル書込失敗[%s]", outputPath);
		return 1;
	}
	if (totals) {
		/* A message is as it is sent; a fragment's other counts are told. */
		const long long bytes = (long long)PageBytesWritten();
		const RowsWritten rows = {bytes - (long long)(head.size() + tail.size()), scanned.equals, scanned.cells,
		                          grid.height, scanned.breaks};
		auto counted = [&](ByteCount count) {
			return form != FORM_FRAGMENT || options.message
			               ? bytes
			               : CountRows(count, rows) + CountAround(count, head.data(), head.size(), tail.data(), tail.size());
		};
		*totals = PageTotals{scanned.cells, bytes, counted(AS_SENT), counted(AS_PASTED), readWidth, readHeight,
		                     drawnWidth, drawnHeight, cellSize, done, psnr, clearKept};
	}
	return result;
}
