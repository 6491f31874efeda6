/* The budget search. For each grid: where nothing but the grid is fixed
 * and the grid is summed (reduce.h), the most rectangles of its partition
 * that fit (they lose 0.5 to 1.3 dB less than merging near colours on the
 * photographs measured); else the least tolerance that fits. Both are
 * found by halving, as more rectangles or a smaller tolerance make more
 * cells. The finest grid that may fit comes first, then coarser ones,
 * until two in a row lose more than the best; the coarsest is one cell,
 * the smallest table there is. A scale the user gives is the one grid
 * weighed. Else a grid of more than 2^22 cells is weighed only as the
 * picture itself, without a reduction, so that the search's memory stays
 * bounded whatever the picture. */
#include "reduce/budget.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "page/page_text.h"
#include "page/scan.h"
#include "system/progress.h"

/* The bytes of every row's start and end and of the first row's and
 * column's cells, which no reduction of the grid takes away: each such cell
 * at least "<TD width=1 bgcolor=#000000></TD>", or without its colour;
 * counted as the budget counts. */
static long long
LeastBytes(const Grid &grid, bool clear, ByteCount count)
{
	const long long cells = grid.width + grid.height - 1;
	return CountRows(count, RowsWritten{WRITTEN_ROW * grid.height + (clear ? 17 : 33) * cells,
	                                    (clear ? 1 : 2) * cells, cells, grid.height, 0});
}

/* Grids of more cells than this take memory by the picture to weigh. */
enum : int64_t { MOST_GRID_CELLS = int64_t(1) << 22 };

/* Steps the search counts for each grid: its halvings and more. */
enum : long long { GRID_STEPS = 32 };

/* How far the search has got: steps done of those it may take. */
static long long g_stepsDone, g_steps;

/* How the search counts the bytes. */
static ByteCount g_count;

static long long
CellBytes(const DecodedPicture &painted, const Grid &grid)
{
	const long long counted = MeasureCells(painted, grid, g_count);
	if (counted < 0)
		throw std::bad_alloc();
	g_stepsDone += g_stepsDone % GRID_STEPS < GRID_STEPS - 1;
	ReportProgress(STAGE_FITTING, g_stepsDone, g_steps);
	return counted;
}

static bool
FitByCuts(CoarseGrid *coarse, const Grid &grid, long long budget, ReducedPicture *found)
{
	/* The grid as it is, where it fits, loses the least. */
	if (CellBytes(coarse->Cells(), grid) <= budget) {
		*found = Painted(coarse, ReductionDone{coarse->scale, 0, 0, 0}, nullptr);
		return true;
	}
	const Partition partition(*coarse, size_t(budget / 17) + 1);
	auto bytes = [&](size_t rectangles) { return CellBytes(partition.Paint(rectangles), grid); };
	if (bytes(1) > budget)
		return false;
	size_t lo = 1, hi = partition.Most() + 1; /* lo fits, hi does not */
	while (hi - lo > 1) {
		const size_t mid = lo + (hi - lo) / 2;
		(bytes(mid) <= budget ? lo : hi) = mid;
	}
	DecodedPicture painted = partition.Paint(lo);
	*found = Painted(coarse, ReductionDone{coarse->scale, 0, 0, lo}, &painted);
	return true;
}

static bool
FitByTolerance(CoarseGrid *coarse, const Grid &grid, long long budget, const Reduction &asked, ReducedPicture *found)
{
	DecodedPicture fewer; /* the grid in fewer colours, where they are asked for */
	if (asked.colours > 0)
		fewer = Reduce(coarse->Cells(), asked.colours, 0);
	const DecodedPicture &base = asked.colours > 0 ? fewer : coarse->Cells();
	auto fits = [&](int tolerance) {
		return CellBytes(tolerance > 0 ? Reduce(base, 0, tolerance) : base, grid) <= budget;
	};
	int tolerance = asked.tolerance;
	if (!fits(tolerance)) {
		if (asked.tolerance > 0 || !fits(MAX_TOLERANCE))
			return false;
		int lo = 0, hi = MAX_TOLERANCE; /* lo does not fit, hi does */
		while (hi - lo > 1) {
			const int mid = (lo + hi) / 2;
			(fits(mid) ? hi : lo) = mid;
		}
		tolerance = hi;
	}
	const ReductionDone done{coarse->scale, asked.colours, tolerance, 0};
	if (tolerance == 0 && asked.colours == 0) {
		*found = Painted(coarse, done, nullptr);
	} else {
		DecodedPicture merged = tolerance > 0 ? Reduce(base, 0, tolerance) : std::move(fewer);
		*found = Painted(coarse, done, &merged);
	}
	return true;
}

bool
FitToBudget(const DecodedPicture &picture, int cellSize, const BudgetTerms &terms, long long budget,
            ReducedPicture *chosen)
{
	const Reduction &asked = terms.asked;
	const bool scaleGiven = asked.scale > 1;
	std::vector<int32_t> scales = {asked.scale};
	if (!scaleGiven) {
		scales = {1, 2, 3, 4, 5, 6, 7, 8, 10, 12, 14, 16, 20, 24, 32, 48, 64};
		const int32_t whole = std::max(picture.width, picture.height);
		for (int32_t s = 128; s < whole; s *= 2)
			scales.push_back(s);
		scales.push_back(std::max(whole, 65));
	}
	chosen->error = UINT64_MAX;
	g_count = terms.count;
	g_steps = (long long)scales.size() * GRID_STEPS;
	int worse = 0;
	for (size_t i = 0; i < scales.size() && worse < 2; i++) {
		g_stepsDone = (long long)i * GRID_STEPS;
		ReportProgress(STAGE_FITTING, g_stepsDone, g_steps);
		const int32_t scale = scales[i];
		const Grid grid = GridOf(picture.width, picture.height, scale, cellSize);
		if (LeastBytes(grid, terms.keepClear, g_count) > budget)
			continue;
		ReducedPicture candidate;
		if (!scaleGiven && int64_t(grid.width) * grid.height > MOST_GRID_CELLS) {
			if (scale > 1 || asked.colours > 0 || asked.tolerance > 0 || CellBytes(picture, grid) > budget)
				continue;
			candidate = ReducedPicture{ReductionDone{1, 0, 0, 0}, DecodedPicture(), true, 0};
		} else {
			CoarseGrid coarse = Coarsen(picture, scale, terms.background);
			const bool byCuts = asked.colours == 0 && asked.tolerance == 0 && coarse.Summed();
			if (byCuts ? !FitByCuts(&coarse, grid, budget, &candidate)
			           : !FitByTolerance(&coarse, grid, budget, asked, &candidate))
				continue; /* a page of fewer cells cannot be had here */
		}
		if (candidate.error < chosen->error) {
			*chosen = std::move(candidate);
			worse = 0;
		} else {
			worse++;
		}
	}
	ReportProgress(STAGE_FITTING, g_steps, g_steps);
	return chosen->error != UINT64_MAX;
}
