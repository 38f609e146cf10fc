#include <capturekit/voice/audio_retention.hpp>

namespace capturekit {

std::string_view title(AudioRetention retention) {
    switch (retention) {
    case AudioRetention::off:
        return "Don't keep";
    case AudioRetention::sevenDays:
        return "7 days";
    case AudioRetention::thirtyDays:
        return "30 days";
    case AudioRetention::keep:
        return "Keep";
    }
    return {};
}

std::optional<std::chrono::seconds> limitedPeriod(AudioRetention retention) {
    switch (retention) {
    case AudioRetention::sevenDays:
        return std::chrono::seconds{604'800};
    case AudioRetention::thirtyDays:
        return std::chrono::seconds{2'592'000};
    case AudioRetention::off:
    case AudioRetention::keep:
        break;
    }
    return std::nullopt;
}

} // namespace capturekit
