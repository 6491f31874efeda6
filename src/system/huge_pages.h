#ifndef TILERY_SYSTEM_HUGE_PAGES_H
#define TILERY_SYSTEM_HUGE_PAGES_H

#include <cstddef>

/* Asks for huge pages behind the memory given, where the system has them;
 * a hint, nothing fails. Only whole huge pages, aligned to their size,
 * can back memory. */
constexpr size_t HUGE_PAGE_SIZE = size_t(2) << 20;
void AdviseHugePages(void *start, size_t length);

#endif
