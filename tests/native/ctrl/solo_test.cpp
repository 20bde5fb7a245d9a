// The solo logic: which tracks a Solo click toggles and which rows it enables.
#include <gtest/gtest.h>
#include <random>
#include <vector>
#include "ctrl/ctrl_logic.h"

namespace {

// A model of the rows: the two marks, the enabled state and whether the track is muted in
// the image (toggled an odd number of times).
struct Rows {
    std::vector<SoloRow> marks;
    std::vector<bool> enabled, muted;
    explicit Rows(int n) : marks(n, SoloRow{true, false}), enabled(n, true), muted(n, false) {}

    SoloPlan ClickSolo(int r)
    {
        SoloPlan plan;
        PlanSolo(marks.data(), (int)marks.size(), r, &plan);
        marks[r].fSolo = plan.fClickedSolo;
        if (plan.nUnchecked >= 0)
            marks[plan.nUnchecked].fSolo = false;
        for (int i = 0; i < plan.nSteps; i++) {
            const SoloStep& s = plan.steps[i];
            if (s.enable != ROW_KEEP)
                enabled[s.row] = s.enable == ROW_ENABLE;
            if (s.fToggle)
                muted[s.row] = !muted[s.row];
        }
        return plan;
    }
    void ClickOn(int r)   // the box flips itself; the handler always toggles the track
    {
        marks[r].fOn = !marks[r].fOn;
        muted[r] = !muted[r];
    }
    int Solo() const
    {
        for (size_t j = 0; j < marks.size(); j++)
            if (marks[j].fSolo)
                return (int)j;
        return -1;
    }
    // Muted exactly when the On box is off or another row is solo; only the solo row's and
    // every row's controls are enabled while no row is solo.
    ::testing::AssertionResult Consistent() const
    {
        int solo = Solo();
        int nSolo = 0;
        for (size_t j = 0; j < marks.size(); j++) {
            nSolo += marks[j].fSolo;
            bool wantMuted = !marks[j].fOn || (solo >= 0 && solo != (int)j);
            if (muted[j] != wantMuted)
                return ::testing::AssertionFailure() << "row " << j << " muted " << muted[j];
            bool wantEnabled = solo < 0 || solo == (int)j;
            if (enabled[j] != wantEnabled)
                return ::testing::AssertionFailure() << "row " << j << " enabled " << enabled[j];
        }
        if (nSolo > 1)
            return ::testing::AssertionFailure() << nSolo << " rows solo";
        return ::testing::AssertionSuccess();
    }
};

}  // namespace

TEST(Solo, FirstSoloDisablesAndMutesTheOthers)
{
    Rows rows(4);
    rows.marks[2].fOn = false;
    rows.muted[2] = true;
    SoloPlan plan = rows.ClickSolo(1);
    EXPECT_TRUE(plan.fClickedSolo);
    EXPECT_EQ(plan.nUnchecked, -1);
    ASSERT_EQ(plan.nSteps, 3);
    EXPECT_EQ(plan.steps[0].row, 0);
    EXPECT_EQ(plan.steps[1].row, 2);
    EXPECT_EQ(plan.steps[2].row, 3);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(plan.steps[i].enable, ROW_DISABLE);
    EXPECT_TRUE(plan.steps[0].fToggle);
    EXPECT_FALSE(plan.steps[1].fToggle);   // its On box is off: never toggled
    EXPECT_TRUE(plan.steps[2].fToggle);
    EXPECT_TRUE(rows.Consistent());
}

TEST(Solo, ClickingTheSoloRowAgainReleasesIt)
{
    Rows rows(3);
    rows.ClickSolo(0);
    SoloPlan plan = rows.ClickSolo(0);
    EXPECT_FALSE(plan.fClickedSolo);
    EXPECT_EQ(plan.nUnchecked, -1);
    ASSERT_EQ(plan.nSteps, 2);
    EXPECT_EQ(plan.steps[0].row, 1);
    EXPECT_EQ(plan.steps[1].row, 2);
    EXPECT_EQ(plan.steps[0].enable, ROW_ENABLE);
    EXPECT_TRUE(plan.steps[0].fToggle);
    EXPECT_TRUE(rows.Consistent());
    for (int j = 0; j < 3; j++)
        EXPECT_FALSE(rows.muted[j]);
}

TEST(Solo, TakingOverMovesTheSoloBetweenTwoRows)
{
    Rows rows(6);
    rows.ClickSolo(2);
    SoloPlan plan = rows.ClickSolo(5);
    EXPECT_TRUE(plan.fClickedSolo);
    EXPECT_EQ(plan.nUnchecked, 2);
    ASSERT_EQ(plan.nSteps, 2);
    EXPECT_EQ(plan.steps[0].row, 5);
    EXPECT_EQ(plan.steps[0].enable, ROW_ENABLE);
    EXPECT_TRUE(plan.steps[0].fToggle);
    EXPECT_EQ(plan.steps[1].row, 2);
    EXPECT_EQ(plan.steps[1].enable, ROW_DISABLE);
    EXPECT_TRUE(plan.steps[1].fToggle);
    EXPECT_EQ(rows.Solo(), 5);
    EXPECT_TRUE(rows.Consistent());
}

TEST(Solo, TakingOverLeavesTracksWithTheirOnBoxOffAlone)
{
    Rows rows(6);
    rows.ClickOn(2);
    rows.ClickOn(5);
    rows.ClickSolo(2);
    SoloPlan plan = rows.ClickSolo(5);
    ASSERT_EQ(plan.nSteps, 2);
    EXPECT_FALSE(plan.steps[0].fToggle);
    EXPECT_FALSE(plan.steps[1].fToggle);
    EXPECT_TRUE(rows.Consistent());
}

TEST(Solo, SoloOfARowThatIsOffLeavesEverythingMuted)
{
    Rows rows(3);
    rows.ClickOn(1);
    rows.ClickSolo(1);
    EXPECT_TRUE(rows.Consistent());
    for (int j = 0; j < 3; j++)
        EXPECT_TRUE(rows.muted[j]) << j;
}

TEST(Solo, OutOfRangeClickChangesNothing)
{
    Rows rows(3);
    SoloPlan plan;
    PlanSolo(rows.marks.data(), 3, 3, &plan);
    EXPECT_EQ(plan.nSteps, 0);
    EXPECT_EQ(plan.nUnchecked, -1);
    PlanSolo(rows.marks.data(), 3, -1, &plan);
    EXPECT_EQ(plan.nSteps, 0);
    PlanSolo(rows.marks.data(), 0, 0, &plan);
    EXPECT_EQ(plan.nSteps, 0);
}

TEST(Solo, InvariantHoldsThroughRandomClicks)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; round++) {
        int n = 1 + (int)(rng() % 8);
        Rows rows(n);
        for (int k = 0; k < 60; k++) {
            int r = (int)(rng() % n);
            if (rng() % 2) {
                rows.ClickSolo(r);
            } else if (rows.enabled[r]) {   // a disabled On box cannot be clicked
                rows.ClickOn(r);
            }
            ASSERT_TRUE(rows.Consistent()) << "round " << round << " step " << k;
        }
    }
}

TEST(Solo, HundredRowsFitThePlan)
{
    Rows rows(MAX_ROWS);
    SoloPlan plan = rows.ClickSolo(MAX_ROWS - 1);
    EXPECT_EQ(plan.nSteps, MAX_ROWS - 1);
    EXPECT_TRUE(rows.Consistent());
}
