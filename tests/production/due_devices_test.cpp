// Which watched devices are due: a device is worked when it appears, and again only after it
// went away and came back, however the changes and the jobs' ends interleave.

#include "cli/ProductionLine.h"

#include <gtest/gtest.h>

namespace {

// One step: a device appears (+), goes (-), its job ends (!), or is there at the start (=).
struct CStep
{
    char chWhat;
    const char *pszPath;
};

struct CDueCase
{
    const char *pszName;
    std::vector<CStep> steps;
    std::vector<std::string> due; // in the order they became due
};

const CDueCase kCases[] = {
    {"Appears", {{'+', "A"}}, {"A"}},
    {"StaysPluggedAfterItsJob", {{'+', "A"}, {'!', "A"}}, {"A"}},
    {"GoneAndBackAfterItsJob", {{'+', "A"}, {'!', "A"}, {'-', "A"}, {'+', "A"}}, {"A", "A"}},
    {"PulledDuringItsJob", {{'+', "A"}, {'-', "A"}, {'!', "A"}}, {"A"}},
    {"PulledDuringItsJobThenBack", {{'+', "A"}, {'-', "A"}, {'!', "A"}, {'+', "A"}}, {"A", "A"}},
    // Back before the job noticed: due again once the job ends, not twice at once.
    {"ReplugDuringItsJob", {{'+', "A"}, {'-', "A"}, {'+', "A"}, {'!', "A"}}, {"A", "A"}},
    {"PresentAtStartLeftAlone", {{'=', "A"}}, {}},
    {"PresentAtStartReplugged", {{'=', "A"}, {'-', "A"}, {'+', "A"}}, {"A"}},
    {"OthersInArrivalOrder", {{'+', "B"}, {'+', "A"}, {'!', "B"}}, {"B", "A"}},
};

class DueDevicesTest : public ::testing::TestWithParam<CDueCase>
{
};

TEST_P(DueDevicesTest, DueOnlyWhenAppearedAfterAnyJob)
{
    CDueDevices devices;
    std::vector<std::string> due;
    for (const CStep &step : GetParam().steps) {
        if (step.chWhat == '=')
            devices.LeaveAlone(step.pszPath);
        else if (step.chWhat == '!')
            devices.Finished(step.pszPath);
        else
            devices.Take(
                {step.chWhat == '+' ? EPortChange::Appeared : EPortChange::Gone, step.pszPath});
        for (const CDuePort &port : devices.TakeDue())
            due.push_back(port.strPath);
    }
    EXPECT_EQ(due, GetParam().due);
}

INSTANTIATE_TEST_SUITE_P(Steps, DueDevicesTest, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.pszName); });

// A slot is a device's place among those the run has seen, kept when it comes back.
TEST(DueDevices, SlotsFollowTheDevice)
{
    CDueDevices devices;
    devices.Take({EPortChange::Appeared, "B"});
    devices.Take({EPortChange::Appeared, "A"});
    devices.Finished("B");
    devices.Take({EPortChange::Gone, "B"});
    devices.Take({EPortChange::Appeared, "B"});
    std::vector<size_t> slots;
    for (const CDuePort &port : devices.TakeDue())
        slots.push_back(port.nSlot);
    EXPECT_EQ(slots, (std::vector<size_t>{1, 2, 1}));
}

} // namespace
