#ifndef TILERY_REDUCE_BUDGET_H
#define TILERY_REDUCE_BUDGET_H

#include "page/page_text.h"
#include "reduce/reduce.h"

/* What a budget is met with: the reduction asked, whose scale, colours or
 * tolerance the search keeps where they are given; whether clear pixels
 * are kept clear, and what they show; how the page's bytes are counted. */
struct BudgetTerms {
	Reduction asked;
	bool keepClear;
	uint32_t background;
	ByteCount count;
};

/* The budget search: of the reductions the terms leave open, the one
 * whose table's rows take at most `budget` bytes (the page's other text
 * counted apart) with the least loss. False when no table fits; throws
 * std::bad_alloc when memory runs out. */
bool FitToBudget(const DecodedPicture &picture, int cellSize, const BudgetTerms &terms, long long budget,
                 ReducedPicture *chosen);

#endif
