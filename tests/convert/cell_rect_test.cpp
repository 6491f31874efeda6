#include "convert/cell_rect.h"

#include <gtest/gtest.h>

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

} // namespace
