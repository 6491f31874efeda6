/* The conversion: the picture read, reduced by hand or fitted to a budget
 * where asked, then its table written into the page. */
#include "convert/convert.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "convert/budget.h"
#include "convert/page_file.h"
#include "convert/page_text.h"
#include "convert/page_writer.h"
#include "convert/pixel_source.h"
#include "convert/scan.h"
#include "shell/notice.h"

int
ConvertBitmapToTable(const char *inputPath, const char *outputPath, int cellSize)
{
	return ConvertPicture(inputPath, outputPath, cellSize, DEFAULT_PAGE_OPTIONS, nullptr);
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
	const int32_t drawnWidth = bitmap->width, drawnHeight = bitmap->height;
	const bool clearKept = options.keepClear && std::find(bitmap->pixels.begin(), bitmap->pixels.end(),
	                                                      CLEAR_PIXEL) != bitmap->pixels.end();
	const bool reducing = IsReducing(options);
	const PageForm form = options.fragment ? FORM_FRAGMENT : options.noCss || reducing ? FORM_WITHOUT_CSS : FORM_STYLED;
	char head[PAGE_HEAD_SIZE];
	const int headLength = PutPageHead(form, (long long)cellSize * drawnWidth, cellSize, head);
	const char *tail = PageTail(form);

	/* Reduced before the page is opened: a budget no page meets leaves the
	 * old one as it was. */
	ReductionDone done{1, 0, 0, 0};
	double psnr = std::numeric_limits<double>::infinity();
	if (reducing) {
		try {
			ReducedPicture reduced;
			const long long budget = options.maxBytes - headLength - (long long)std::strlen(tail);
			if (options.maxBytes == 0) {
				reduced = ReduceByHand(*bitmap, options.reduction, options.background);
			} else if (!FitToBudget(*bitmap, cellSize, options, budget, &reduced)) {
				ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "%lld バイトに収まる表は作れない訳で。[%s]",
				           options.maxBytes, outputPath);
				DeleteBitmap(bitmap);
				return 1;
			}
			done = reduced.done;
			psnr = PeakSignalToNoise(reduced.error, *bitmap);
			if (!reduced.asIs)
				std::swap(*bitmap, reduced.grid);
		} catch (const std::bad_alloc &) {
			ShowNotice(nullptr, APP_TITLE, MB_ICONERROR, "記憶領域の獲得に失敗");
			DeleteBitmap(bitmap);
			return 1;
		}
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
	AppendToPage(&out, head, size_t(headLength));
	long long cells = 0;
	const Grid grid = GridOf(drawnWidth, drawnHeight, done.scale, cellSize);
	const int result = WriteCells(&context, grid, form != FORM_STYLED, &out, &cells);
	AppendToPage(&out, tail, std::strlen(tail));
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
	if (totals)
		*totals = PageTotals{cells, (long long)PageBytesWritten(), done, psnr, clearKept};
	return result;
}
