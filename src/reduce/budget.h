#ifndef TILERY_REDUCE_BUDGET_H
#define TILERY_REDUCE_BUDGET_H

#include "convert/convert.h"
#include "reduce/reduce.h"

/* The budget search: of the reductions the options leave open, the one
 * whose table's rows take at most `budget` bytes (the page's other text
 * counted apart; a fragment's bytes as sent in a mail) with the least
 * loss. False when no table fits; throws
 * std::bad_alloc when memory runs out. */
bool FitToBudget(const DecodedPicture &picture, int cellSize, const PageOptions &options, long long budget,
                 ReducedPicture *chosen);

#endif
