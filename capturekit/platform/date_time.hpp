#pragma once

// Dates: a point in time with sub-second precision. On the wire a date is ISO 8601 UTC with "Z"
// and no fractional seconds; on the device it is stored as seconds since 2001-01-01 00:00:00 UTC.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace capturekit {

using Date = std::chrono::sys_time<std::chrono::microseconds>;

namespace dates {

// 2001-01-01 00:00:00 UTC, the reference date of the stored form.
inline constexpr Date referenceDate{
    std::chrono::sys_days{std::chrono::year{2001} / std::chrono::January / 1}};

double secondsSince2001(Date date);
// Absent for a non-finite value or one out of the representable range.
std::optional<Date> fromSecondsSince2001(double seconds);

double secondsSince1970(Date date);
std::optional<Date> fromSecondsSince1970(double seconds);

// "2026-03-01T09:30:00Z"; fractional seconds are dropped by truncation.
std::string iso8601(Date date);
// Reads "YYYY-MM-DDTHH:MM:SS" with an optional fraction and "Z" or a "+HH:MM"/"-HH:MM" offset.
std::optional<Date> parseISO8601(std::string_view text);

Date now();

} // namespace dates

// The source of the current time, injectable so that expiries and buckets are tested without
// waiting.
class Clock {
public:
    virtual ~Clock() = default;
    virtual Date now() const = 0;
};

class SystemClock final : public Clock {
public:
    Date now() const override { return dates::now(); }
    static const SystemClock& shared();
};

} // namespace capturekit
