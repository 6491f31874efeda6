#include "page/cell_rect.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <algorithm>
#include <random>
#include <vector>

#include "failing_malloc.h"
#include "notice_recorder.h"

namespace {

struct Bounds {
	int32_t left, right, top, bottom;
	bool operator==(const Bounds &o) const
	{
		return left == o.left && right == o.right && top == o.top && bottom == o.bottom;
	}
};

std::vector<Bounds>
ListNewestFirst()
{
	std::vector<Bounds> list;
	for (const CellRect *n = g_cellRectHead; n; n = n->next)
		list.push_back({n->left, n->right, n->top, n->bottom});
	return list;
}

/* Adds rectangles so that the first given ends up at the head. */
void
AddNewestFirst(const std::vector<Bounds> &rects)
{
	for (auto it = rects.rbegin(); it != rects.rend(); ++it)
		ASSERT_EQ(AddCellRect(it->left, it->right, it->top, it->bottom), 0);
}

/* Links a list by hand, past AddCellRect, the first given at the head. */
void
LinkByHand(const std::vector<Bounds> &rects)
{
	for (auto it = rects.rbegin(); it != rects.rend(); ++it) {
		auto *node = static_cast<CellRect *>(std::malloc(sizeof(CellRect)));
		*node = CellRect{it->left, it->right, it->top, it->bottom, g_cellRectHead};
		g_cellRectHead = node;
	}
}

class CellRectTest : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_EQ(g_cellRectHead, nullptr); }
	void TearDown() override
	{
		StopFailingMalloc();
		ClearCellRects();
	}
};

TEST_F(CellRectTest, EmptyListCoversNothingAndClearsToNothing)
{
	EXPECT_EQ(IsCellCovered(0, 0, 1), 0);
	EXPECT_EQ(IsCellCovered(-1, 7, 0), 0);
	EXPECT_EQ(ClearCellRects(), 0);
	EXPECT_EQ(g_cellRectHead, nullptr);
}

TEST_F(CellRectTest, NewRectanglesGoToTheFront)
{
	ASSERT_EQ(AddCellRect(0, 1, 0, 0), 0);
	ASSERT_EQ(AddCellRect(2, 2, 0, 3), 0);
	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{2, 2, 0, 3}, {0, 1, 0, 0}}));
	EXPECT_EQ(ClearCellRects(), 0);
	EXPECT_EQ(g_cellRectHead, nullptr);
}

TEST_F(CellRectTest, EdgesAndCornersAreInsideAndTheirNeighboursOutside)
{
	ASSERT_EQ(AddCellRect(2, 5, 3, 7), 0);
	for (int32_t x : {2, 3, 5})
		for (int32_t y : {3, 5, 7})
			EXPECT_EQ(IsCellCovered(x, y, 0), 1) << x << "," << y;
	EXPECT_EQ(IsCellCovered(1, 3, 0), 0);
	EXPECT_EQ(IsCellCovered(6, 3, 0), 0);
	EXPECT_EQ(IsCellCovered(2, 2, 0), 0);
	EXPECT_EQ(IsCellCovered(5, 8, 0), 0);
}

TEST_F(CellRectTest, PruningFreesFinishedRectanglesButNeverTheHead)
{
	/* Bottoms 2, 3, 9, 1, newest first; none holds (0, 5). */
	for (auto build : {AddNewestFirst, LinkByHand}) {
		build({{10, 10, 0, 2}, {11, 11, 0, 3}, {12, 12, 0, 9}, {13, 13, 0, 1}});
		EXPECT_EQ(IsCellCovered(0, 5, 1), 0);
		EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{10, 10, 0, 2}, {12, 12, 0, 9}}));
		ClearCellRects();
	}
}

/* A list linked by hand is walked as it stands: the walk stops at the
 * first rectangle holding the pixel, and frees only what it passed. */
TEST_F(CellRectTest, AListLinkedByHandIsWalkedAndPrunedAsItStands)
{
	LinkByHand({{0, 0, 0, 0}, {1, 1, 0, 1}, {2, 2, 0, 9}, {3, 3, 0, 1}});
	EXPECT_EQ(IsCellCovered(2, 5, 1), 1);
	/* The bottom-1 node before the hit is freed, the one behind it waits. */
	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{0, 0, 0, 0}, {2, 2, 0, 9}, {3, 3, 0, 1}}));
	/* Overlapping rectangles and rows asked upwards are all the same to it. */
	LinkByHand({{0, 5, 0, 5}});
	EXPECT_EQ(IsCellCovered(3, 3, 1), 1);
	EXPECT_EQ(IsCellCovered(9, 1, 1), 0);
	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{0, 5, 0, 5}, {2, 2, 0, 9}, {3, 3, 0, 1}}));
}

/* Rectangles added in the conversion's order are swept at the first
 * pruning call of each row: whatever ends above it goes, but the head. */
TEST_F(CellRectTest, RectanglesAddedInOrderAreSweptOncePerRow)
{
	AddNewestFirst({{0, 0, 0, 0}, {1, 1, 0, 1}, {2, 2, 0, 9}, {3, 3, 0, 1}});
	EXPECT_EQ(IsCellCovered(2, 5, 1), 1);
	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{0, 0, 0, 0}, {2, 2, 0, 9}}));
	EXPECT_EQ(IsCellCovered(0, 5, 1), 0);
	EXPECT_EQ(IsCellCovered(2, 9, 0), 1);
	EXPECT_EQ(IsCellCovered(2, 10, 0), 0);
}

TEST_F(CellRectTest, WithoutPruningTheListNeverChanges)
{
	const std::vector<Bounds> rects = {{0, 0, 0, 0}, {1, 1, 0, 1}, {2, 2, 0, 2}};
	AddNewestFirst(rects);
	for (int32_t y = 0; y < 10; y++)
		IsCellCovered(9, y, 0);
	EXPECT_EQ(ListNewestFirst(), rects);
}

TEST_F(CellRectTest, OutOfMemoryShowsTheFixedMessageOnceAndKeepsTheList)
{
	NoticeRecorder recorder;
	ASSERT_EQ(AddCellRect(0, 0, 0, 0), 0);
	FailMallocAfter(0);
	EXPECT_EQ(AddCellRect(1, 1, 0, 0), -1);
	EXPECT_EQ(AddCellRect(2, 2, 0, 0), -1);
	StopFailingMalloc();

	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{0, 0, 0, 0}}));
	ASSERT_EQ(recorder.notices().size(), 2u);
	for (const RecordedNotice &n : recorder.notices()) {
		EXPECT_EQ(n.text, "記憶領域の獲得に失敗");
		EXPECT_EQ(n.caption, "tilery");
		EXPECT_EQ(n.style, 16u);
		EXPECT_EQ(n.owner, nullptr);
	}
}


/* Without room for the column records the list would have to be walked,
 * pixel by pixel: that is a memory failure, not a slow success. Past the
 * width cap no picture reaches, the list is walked, and no memory asked. */
TEST_F(CellRectTest, NoRoomForTheColumnRecordsIsAMemoryFailure)
{
	NoticeRecorder recorder;
	ASSERT_EQ(AddCellRect(0, 0, 0, 0), 0);
	FailNewAfter(0);
	EXPECT_EQ(AddCellRect(1, 60000, 0, 0), -1);
	StopFailingMalloc();
	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{0, 0, 0, 0}}));
	ASSERT_EQ(recorder.notices().size(), 1u);
	EXPECT_EQ(recorder.notices()[0].text, "記憶領域の獲得に失敗");
	EXPECT_EQ(AddCellRect(1, 60000, 0, 0), 0);
	EXPECT_EQ(IsCellCovered(59999, 0, 1), 1);
	FailNewAfter(0);
	EXPECT_EQ(AddCellRect(0, 2000000000, 1, 1), 0);
	StopFailingMalloc();
	EXPECT_EQ(IsCellCovered(1999999999, 1, 1), 1);
	EXPECT_EQ(IsCellCovered(59999, 0, 0), 1);
}

/* ---- the answers and the list, call by call, against the plain walk ---- */

/* The list as the plain walk keeps it, written out again: newest first. */
class PlainList {
public:
	void Add(Bounds b) { list_.insert(list_.begin(), b); }
	void Clear() { list_.clear(); }
	void Reset(std::vector<Bounds> list) { list_ = std::move(list); }
	const std::vector<Bounds> &list() const { return list_; }
	int Covered(int32_t x, int32_t y, int prune)
	{
		for (size_t i = 0; i < list_.size();) {
			const Bounds &b = list_[i];
			if (b.left <= x && x <= b.right && b.top <= y && y <= b.bottom)
				return 1;
			if (prune && i > 0 && b.bottom < y) {
				list_.erase(list_.begin() + long(i));
				continue;
			}
			i++;
		}
		return 0;
	}

private:
	std::vector<Bounds> list_;
};

/* Checks every call against the plain walk. Pruning is a memory measure:
 * the list may free finished rectangles sooner or later than the walks
 * would, so it must hold the rectangles added in the order added, less
 * only rectangles other than the head that end above a pruning row; every
 * answer about a row at or below every pruning row must be the
 * plain walk's. Above a pruning row the walks' own answers depend on what
 * they happened to free; there no answer may claim more than theirs. */
class CellRectDifferentialTest : public CellRectTest {
public:
	PlainList plain;
	std::vector<Bounds> added; /* newest first, since the last clear */
	long calls = 0;
	int32_t pruneRow = std::numeric_limits<int32_t>::min();
	bool exact = false; /* a list moved by hand: walked exactly as it stands */

	int Covered(int32_t x, int32_t y, int prune)
	{
		const bool settled = y >= pruneRow;
		const int expected = plain.Covered(x, y, prune);
		const int got = IsCellCovered(x, y, prune);
		if (prune && y > pruneRow)
			pruneRow = y;
		if (settled || exact) {
			EXPECT_EQ(got, expected) << "IsCellCovered(" << x << ", " << y << ", " << prune << ")";
		} else {
			EXPECT_LE(got, expected) << "IsCellCovered(" << x << ", " << y << ", " << prune << ")";
		}
		Check();
		return expected;
	}
	void Add(Bounds b)
	{
		plain.Add(b);
		added.insert(added.begin(), b);
		ASSERT_EQ(AddCellRect(b.left, b.right, b.top, b.bottom), 0);
		Check();
	}
	void Clear()
	{
		plain.Clear();
		added.clear();
		EXPECT_EQ(ClearCellRects(), 0);
		pruneRow = std::numeric_limits<int32_t>::min();
		exact = false;
		Check();
	}
	/* Takes the head off by hand, as a caller past the three calls might. */
	void MoveHeadByHand()
	{
		if (!g_cellRectHead)
			return;
		CellRect *old = g_cellRectHead;
		g_cellRectHead = old->next;
		std::free(old);
		plain.Reset(ListNewestFirst());
		added = ListNewestFirst();
		exact = true;
	}
	void Check()
	{
		calls++;
		const std::vector<Bounds> got = ListNewestFirst();
		if (exact) {
			ASSERT_EQ(got, plain.list()) << "after call " << calls;
			return;
		}
		const std::vector<Bounds> &want = added;
		size_t i = 0;
		for (size_t j = 0; j < want.size(); j++) {
			if (i < got.size() && got[i] == want[j]) {
				i++;
				continue;
			}
			ASSERT_TRUE(j > 0 && want[j].bottom < pruneRow)
				<< "after call " << calls << ": a rectangle that may still matter is gone: " << want[j].left
				<< "," << want[j].top;
		}
		ASSERT_EQ(i, got.size()) << "after call " << calls << ": rectangles out of order or not added";
	}
};

/* The calls a conversion makes: each uncovered pixel starts a cell grown
 * right, then down, over blocky random pictures. */
/* The calls a conversion makes: each uncovered pixel starts a cell grown
 * right, then down. Returns the longest the list got after the first
 * pruning call of a row. */
size_t
ConvertInOrder(CellRectDifferentialTest *test, const std::vector<uint32_t> &px, int32_t w, int32_t h);

TEST_F(CellRectDifferentialTest, ConversionOrder)
{
	std::mt19937 random(7);
	for (int picture = 0; picture < 150 && !HasFatalFailure(); picture++) {
		const int32_t w = 1 + int32_t(random() % 40), h = 1 + int32_t(random() % 30);
		const uint32_t colors = 1 + random() % 3;
		std::vector<uint32_t> px(size_t(w) * size_t(h));
		for (size_t i = 0; i < px.size(); i++) {
			const uint32_t pick = random() % 6;
			px[i] = pick < 2 && i >= size_t(w) ? px[i - size_t(w)]
			        : pick < 4 && i % size_t(w) ? px[i - 1]
			                                    : random() % colors;
		}
		ConvertInOrder(this, px, w, h);
	}
}

/* One-pixel bars that change colours at a stair: column x at row w-1-x.
 * Under the stair the rectangles over a row get older from left to
 * right, so walks from the head would pass all those to a pixel's left.
 * The list still holds no more than what reaches the current row. */
TEST_F(CellRectDifferentialTest, Staircase)
{
	const int32_t w = 96, h = 160;
	std::vector<uint32_t> px(size_t(w) * size_t(h));
	for (int32_t y = 0; y < h; y++)
		for (int32_t x = 0; x < w; x++)
			px[size_t(y) * size_t(w) + size_t(x)] = uint32_t(x % 2) + (y >= w - 1 - x ? 2 : 0);
	EXPECT_LE(ConvertInOrder(this, px, w, h), size_t(w) + 1);
}

size_t
ConvertInOrder(CellRectDifferentialTest *test, const std::vector<uint32_t> &px, int32_t w, int32_t h)
{
	auto at = [&](int32_t x, int32_t y) { return px[size_t(y) * size_t(w) + size_t(x)]; };
	size_t longest = 0;
	for (int32_t y = 0; y < h && !::testing::Test::HasFatalFailure(); y++) {
		for (int32_t x = 0; x < w;) {
			const bool covered = test->Covered(x, y, 1);
			if (x == 0)
				longest = std::max(longest, ListNewestFirst().size());
			if (covered) {
				x++;
				continue;
			}
			int32_t cols = 1, rows = 1;
			while (x + cols < w && at(x + cols, y) == at(x, y) && !test->Covered(x + cols, y, 0))
				cols++;
			for (int32_t r = y + 1; r < h; r++) {
				int32_t run = 0;
				while (run < cols && at(x + run, r) == at(x, y) && !test->Covered(x + run, r, 0))
					run++;
				if (run == 0 || int64_t(run) * (rows + 1) < int64_t(cols) * rows)
					break;
				rows++;
				cols = run;
			}
			test->Add({x, x + cols - 1, y, y + rows - 1});
			x += cols;
		}
	}
	test->Clear();
	return longest;
}

/* Sequences that break the conversion's order now and then: tops out of
 * order, rows asked upwards, overlapping and odd rectangles. */
TEST_F(CellRectDifferentialTest, RandomSequences)
{
	std::mt19937 random(11);
	for (int sequence = 0; sequence < 300 && !HasFatalFailure(); sequence++) {
		const bool mostlyOrdered = sequence % 2 == 0;
		int32_t row = 0;
		for (int call = 0; call < 400 && !HasFatalFailure(); call++) {
			const uint32_t op = random() % 100;
			auto coordinate = [&](int32_t around) { return around + int32_t(random() % 9) - 3; };
			if (mostlyOrdered && random() % 20 == 0)
				row++;
			if (op < 30) {
				const int32_t left = coordinate(8), top = mostlyOrdered && random() % 30 ? row : coordinate(row);
				Add({left, left + int32_t(random() % 5) - (random() % 25 == 0), top,
				     top + int32_t(random() % 6) - (random() % 25 == 0)});
			} else if (op == 98 && sequence % 5 == 0) {
				MoveHeadByHand();
			} else if (op < 99) {
				const int32_t y = mostlyOrdered && random() % 30 ? row + int32_t(random() % 3) : coordinate(row);
				Covered(coordinate(8), y, int(random() % 2));
			} else {
				Clear();
			}
		}
		Clear();
	}
}

} // namespace
