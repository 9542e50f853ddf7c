// The active hours' rule on a local-time seam: plain minutes of the day.
#include "store/ActiveHours.h"

#include <gtest/gtest.h>

namespace {
int At(int hours, int minutes) { return hours * 60 + minutes; }

TEST(ActiveHours, InsideOutsideAcrossMidnightTheEndMinuteAndValuesThatMeanAlways) {
    // Catches the end minute counted in, a span across midnight read as empty, and a
    // malformed or equal-times value that stops every download instead of meaning always.
    const struct { const wchar_t* setting; int minute; bool inside; } cases[] = {
        {L"09:00-17:00", At(9, 0), true},    {L"09:00-17:00", At(16, 59), true}, {L"09:00-17:00", At(17, 0), false},
        {L"09:00-17:00", At(8, 59), false},  {L"22:00-06:00", At(23, 30), true}, {L"22:00-06:00", At(0, 0), true},
        {L"22:00-06:00", At(5, 59), true},   {L"22:00-06:00", At(6, 0), false},  {L"22:00-06:00", At(12, 0), false},
        {L"08:00-08:00", At(3, 0), true},    {L"24:00-06:00", At(3, 0), true},   {L"8:00-17:00", At(3, 0), true},
        {L"09:00-17:60", At(3, 0), true},    {L"09:00–17:00", At(3, 0), true},   {L"", At(3, 0), true},
        {L"09:00-17:00 ", At(3, 0), true},
    };
    for (const auto& c : cases) {
        const std::optional<ActiveHours> hours = ActiveHoursOf(c.setting);
        EXPECT_EQ(!hours || InsideHours(*hours, c.minute), c.inside) << c.setting << " at " << c.minute;
    }
    EXPECT_EQ(ActiveHoursText(*ParseActiveHours(L"22:05-06:00")), L"22:05-06:00");
}

TEST(ActiveHours, AClockThatJumpsIsMetAtTheNextTick) {
    // Catches a change looked for at a moment (a timer set for 22:00) instead of by the state
    // at each tick: a clock set forward over the start, or back over the end, starts the rows.
    const ActiveHours night = *ActiveHoursOf(L"22:00-06:00");
    const struct { int before, after; HoursChange change; } ticks[] = {
        {At(21, 59), At(23, 30), HoursChange::Began},  // set forward over the start
        {At(6, 30), At(5, 30), HoursChange::Began},    // set back over the end
        {At(5, 59), At(6, 0), HoursChange::Ended},     {At(23, 0), At(2, 0), HoursChange::None},
        {At(12, 0), At(21, 0), HoursChange::None},     {At(21, 0), At(7, 0), HoursChange::None},  // forward over the whole span
    };
    for (const auto& t : ticks)
        EXPECT_EQ(HoursChangeAt(InsideHours(night, t.before), InsideHours(night, t.after)), t.change) << t.before << "->" << t.after;
}
}  // namespace
