// Active hours: the part of the day downloads may run in ("only at night",
// "only outside office hours"), in the computer's local time. Plain
// functions; the queue judges the wall clock at each tick with them, so a
// clock set forward, a time-zone change or a sleep is met at the next tick.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct ActiveHours {
    int start = 0;  // minutes after midnight, 0..1439
    int end = 0;    // the first minute outside; before `start`: across midnight
};

// "HH:MM-HH:MM" (24-hour clock, two digits each); nothing for any other text.
std::optional<ActiveHours> ParseActiveHours(std::wstring_view text);
// The hours a settings line means: none (always) for a malformed value or
// equal times.
std::optional<ActiveHours> ActiveHoursOf(std::wstring_view text);
std::wstring ActiveHoursText(const ActiveHours& hours);
// A minute of the day from "HH:MM"; nothing for any other text.
std::optional<int> ParseClock(std::wstring_view text);
// "HH:MM" of a minute of the day.
std::wstring ClockText(int minute);
// Whether `minute` (of the day) lies inside the hours; the end minute does not.
bool InsideHours(const ActiveHours& hours, int minute);
// What the queue does at a tick, from whether the hours held at the last
// tick and whether they hold now.
enum class HoursChange { None, Began, Ended };
HoursChange HoursChangeAt(bool wasInside, bool isInside);
// What a row the hours paused says: "Waiting for active hours (from 22:00)".
std::wstring WaitingForHoursText(std::wstring_view setting);
// Resume All outside the hours: the question, and its confirming answer.
std::wstring StartAnywayQuestion(std::wstring_view setting);
std::wstring StartAnywayLabel();
