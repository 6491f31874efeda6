#include "convert/cell_rect.h"

#include <gtest/gtest.h>

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
	AddNewestFirst({{10, 10, 0, 2}, {11, 11, 0, 3}, {12, 12, 0, 9}, {13, 13, 0, 1}});
	EXPECT_EQ(IsCellCovered(0, 5, 1), 0);
	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{10, 10, 0, 2}, {12, 12, 0, 9}}));
}

TEST_F(CellRectTest, PruningStopsAtTheFirstContainingRectangle)
{
	AddNewestFirst({{0, 0, 0, 0}, {1, 1, 0, 1}, {2, 2, 0, 9}, {3, 3, 0, 1}});
	EXPECT_EQ(IsCellCovered(2, 5, 1), 1);
	/* The bottom-1 node before the hit is freed, the one behind it waits. */
	EXPECT_EQ(ListNewestFirst(), (std::vector<Bounds>{{0, 0, 0, 0}, {2, 2, 0, 9}, {3, 3, 0, 1}}));
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


/* ---- the answers and the list, call by call, against the plain walk ---- */

/* The list as the plain walk keeps it, written out again: newest first. */
class PlainList {
public:
	void Add(Bounds b) { list_.insert(list_.begin(), b); }
	void Clear() { list_.clear(); }
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

class CellRectDifferentialTest : public CellRectTest {
protected:
	PlainList plain;
	long calls = 0;

	int Covered(int32_t x, int32_t y, int prune)
	{
		const int expected = plain.Covered(x, y, prune);
		const int got = IsCellCovered(x, y, prune);
		Check();
		EXPECT_EQ(got, expected) << "IsCellCovered(" << x << ", " << y << ", " << prune << ")";
		return expected;
	}
	void Add(Bounds b)
	{
		plain.Add(b);
		ASSERT_EQ(AddCellRect(b.left, b.right, b.top, b.bottom), 0);
		Check();
	}
	void Clear()
	{
		plain.Clear();
		EXPECT_EQ(ClearCellRects(), 0);
		Check();
	}
	void Check()
	{
		calls++;
		ASSERT_EQ(ListNewestFirst(), plain.list()) << "after call " << calls;
	}
};

/* The calls a conversion makes: each uncovered pixel starts a cell grown
 * right, then down, over blocky random pictures. */
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
		auto at = [&](int32_t x, int32_t y) { return px[size_t(y) * size_t(w) + size_t(x)]; };
		for (int32_t y = 0; y < h; y++) {
			for (int32_t x = 0; x < w;) {
				if (Covered(x, y, 1)) {
					x++;
					continue;
				}
				int32_t cols = 1, rows = 1;
				while (x + cols < w && at(x + cols, y) == at(x, y) && !Covered(x + cols, y, 0))
					cols++;
				for (int32_t r = y + 1; r < h; r++) {
					int32_t run = 0;
					while (run < cols && at(x + run, r) == at(x, y) && !Covered(x + run, r, 0))
						run++;
					if (run == 0 || int64_t(run) * (rows + 1) < int64_t(cols) * rows)
						break;
					rows++;
					cols = run;
				}
				Add({x, x + cols - 1, y, y + rows - 1});
				x += cols;
			}
		}
		Clear();
	}
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
