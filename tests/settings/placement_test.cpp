// Window placement: keeping windows on the work area, placing them near their owner, and
// saved rects.
#include "settings/WindowPlacement.h"

#include "platform/WorkArea.h"

#include <QWidget>
#include <gtest/gtest.h>

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        area = Desktop::workArea();
        ASSERT_FALSE(area.isEmpty());
    }
    // A window at a position given relative to the work area's corner.
    void put(QWidget &w, int dx, int dy, int width, int height)
    {
        w.resize(width, height);
        w.move(area.x() + dx, area.y() + dy);
    }
    QPoint rel(const QWidget &w) const { return w.pos() - area.topLeft(); }
    QRect area;
};

TEST_F(PlacementTest, FitPullsWindowsBackOntoTheWorkArea)
{
    const int W = area.width(), H = area.height();
    struct Case { int x, y, w, h; QPoint expected; };
    const Case cases[] = {
        {10, 20, 300, 200, {10, 20}},                       // inside: untouched
        {W - 100, 20, 300, 200, {W - 300, 20}},             // beyond the right edge
        {10, H - 50, 300, 200, {10, H - 200}},              // beyond the bottom
        {W + 500, H + 500, 300, 200, {W - 300, H - 200}},   // off both
        {-40, -7, 300, 200, {0, 0}},                        // negative Left and Top
        {50, 60, W + 100, H + 100, {0, 0}},                 // larger than the area: corner wins
        {W - 300, H - 200, 300, 200, {W - 300, H - 200}},   // exactly touching the edges
    };
    for (const Case &c : cases) {
        QWidget w;
        put(w, c.x, c.y, c.w, c.h);
        FitOnWorkArea(&w);
        EXPECT_EQ(rel(w), c.expected) << c.x << "," << c.y;
        EXPECT_EQ(w.size(), QSize(c.w, c.h));
    }
}

TEST_F(PlacementTest, MoveAndFitMovesOrResizesThenFits)
{
    QWidget w;
    put(w, 100, 100, 200, 150);
    MoveAndFit(&w, area.x() + area.width() - 50, area.y() + 10, false);
    EXPECT_EQ(rel(w), QPoint(area.width() - 200, 10));
    EXPECT_EQ(w.size(), QSize(200, 150));

    put(w, 100, 100, 200, 150);
    MoveAndFit(&w, area.width(), 120, true);
    EXPECT_EQ(w.size(), QSize(area.width(), 120));
    EXPECT_EQ(rel(w), QPoint(0, 100));
}

TEST_F(PlacementTest, PlaceNearOffsetsOrCentresOnTheOwner)
{
    struct Case { int mode; QPoint expected; };
    const Case cases[] = {
        {0, {110, 130}},
        {1, {100 + (301 - 100) / 2, 100 + (200 - 51) / 2}},
        {2, {5, 6}},                     // other modes move nothing
        {-1, {5, 6}},
    };
    for (const Case &c : cases) {
        QWidget owner, w;
        put(owner, 100, 100, 301, 200);
        put(w, 5, 6, 100, 51);
        PlaceNear(&owner, &w, c.mode);
        EXPECT_EQ(rel(w), c.expected) << c.mode;
    }
}

TEST_F(PlacementTest, PlaceNearStillFitsAndCentresLargerWindowsLeftAndAbove)
{
    QWidget owner, w;
    put(owner, area.width() - 50, 100, 40, 40);
    put(w, 0, 0, 200, 100);
    PlaceNear(&owner, &w, 0);
    EXPECT_EQ(rel(w), QPoint(area.width() - 200, 130));

    // A window larger than its owner is centred with negative offsets (toward zero).
    put(owner, 300, 300, 100, 100);
    put(w, 0, 0, 201, 151);
    PlaceNear(&owner, &w, 1);
    EXPECT_EQ(rel(w), QPoint(300 + (100 - 201) / 2, 300 + (100 - 151) / 2));
}

TEST_F(PlacementTest, SavedRectsComeBackWholeOrAsSizeOnly)
{
    QWidget w;
    put(w, 40, 50, 320, 240);
    WindowRect r{};
    SaveWindowRect(&w, r);
    EXPECT_EQ(r.Left, area.x() + 40);
    EXPECT_EQ(r.Top, area.y() + 50);
    // Sizes are stored with the classic frame, so files of every installation mean the same.
    EXPECT_EQ(r.Width, 320 + WindowFrameWidth);
    EXPECT_EQ(r.Height, 240 + WindowFrameHeight);

    QWidget other;
    put(other, 7, 8, 100, 100);
    RestoreWindowRect(&other, r, true);
    EXPECT_EQ(other.size(), QSize(320, 240));
    EXPECT_EQ(rel(other), QPoint(7, 8));
    RestoreWindowRect(&other, r, false);
    EXPECT_EQ(rel(other), QPoint(40, 50));

    // A rect saved on a larger screen is pulled back inside.
    const WindowRect far{area.x() + area.width() - 10, area.y() - 30, 328, 270};
    RestoreWindowRect(&other, far, false);
    EXPECT_EQ(other.size(), QSize(320, 240));
    EXPECT_EQ(rel(other), QPoint(area.width() - other.frameGeometry().width(), 0));

    // A frameless window (the tray menu) is stored as it is.
    QWidget bare(nullptr, Qt::FramelessWindowHint);
    put(bare, 0, 0, 113, 113);
    SaveWindowRect(&bare, r);
    EXPECT_EQ(QSize(r.Width, r.Height), QSize(113, 113));
}
