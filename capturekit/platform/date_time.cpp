#include <capturekit/platform/date_time.hpp>

#include <cmath>
#include <cstdio>

namespace capturekit {

namespace dates {

namespace {

using namespace std::chrono;

// Years 1..9999 keep the text form four digits wide and every conversion in range.
constexpr double earliestSeconds1970 = -62135596800.0; // 0001-01-01T00:00:00Z
constexpr double latestSeconds1970 = 253402300799.0;   // 9999-12-31T23:59:59Z

double secondsBetween(Date from, Date to) {
    return duration<double>(to - from).count();
}

bool readDigits(std::string_view text, std::size_t at, std::size_t count, int& out) {
    if (at + count > text.size()) {
        return false;
    }
    out = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

double secondsSince2001(Date date) {
    return secondsBetween(referenceDate, date);
}

std::optional<Date> fromSecondsSince2001(double seconds) {
    return fromSecondsSince1970(seconds + secondsSince1970(referenceDate));
}

double secondsSince1970(Date date) {
    return secondsBetween(Date{}, date);
}

std::optional<Date> fromSecondsSince1970(double seconds) {
    if (!std::isfinite(seconds) || seconds < earliestSeconds1970 || seconds > latestSeconds1970) {
        return std::nullopt;
    }
    return Date{round<microseconds>(duration<double>(seconds))};
}

std::string iso8601(Date date) {
    const auto wholeSeconds = floor<seconds>(date);
    const auto day = floor<days>(wholeSeconds);
    const year_month_day ymd{day};
    const hh_mm_ss time{wholeSeconds - day};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    return buffer;
}

std::optional<Date> parseISO8601(std::string_view text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (text.size() < 20 || !readDigits(text, 0, 4, y) || text[4] != '-' ||
        !readDigits(text, 5, 2, mo) || text[7] != '-' || !readDigits(text, 8, 2, d) ||
        (text[10] != 'T' && text[10] != 't') || !readDigits(text, 11, 2, h) || text[13] != ':' ||
        !readDigits(text, 14, 2, mi) || text[16] != ':' || !readDigits(text, 17, 2, s)) {
        return std::nullopt;
    }
    const year_month_day ymd{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
    if (!ymd.ok() || y < 1 || h > 23 || mi > 59 || s > 59) {
        return std::nullopt;
    }
    std::size_t at = 19;
    microseconds fraction{0};
    if (text[at] == '.') {
        ++at;
        const std::size_t start = at;
        long long scale = 100000;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            fraction += microseconds{(text[at] - '0') * scale};
            scale /= 10;
            ++at;
        }
        if (at == start) {
            return std::nullopt;
        }
    }
    seconds offset{0};
    if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int oh = 0, om = 0;
        if (!readDigits(text, at + 1, 2, oh) || at + 3 >= text.size() || text[at + 3] != ':' ||
            !readDigits(text, at + 4, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offset = hours{oh} + minutes{om};
        if (text[at] == '-') {
            offset = -offset;
        }
        at += 6;
    } else {
        return std::nullopt;
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    return Date{sys_days{ymd} + hours{h} + minutes{mi} + seconds{s} - offset} + fraction;
}

Date now() {
    return time_point_cast<microseconds>(system_clock::now());
}

} // namespace dates

const SystemClock& SystemClock::shared() {
    static const SystemClock clock;
    return clock;
}

} // namespace capturekit
