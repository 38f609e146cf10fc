#pragma once

// What the staging banner shows. A production environment shows nothing; the desktop app draws
// the banner from this data.

#include <capturekit/account/capture_environment.hpp>

#include <string>
#include <string_view>

namespace capturekit {

struct EnvironmentBanner {
    enum class Style {
        bar, // a row: symbol, bold "STAGING", "captures go to <host>"
        tag, // one small bold line: "STAGING · <host>" in a rounded rectangle
    };

    struct Color {
        double red;
        double green;
        double blue;
    };

    static constexpr std::string_view title = "STAGING";
    static constexpr std::string_view symbolName = "wrench.and.screwdriver.fill";
    static constexpr Color background{0.98, 0.8, 0.2};
    static constexpr Color foreground{0.0, 0.0, 0.0};
    // Spacing between the parts of the bar, in points.
    static constexpr int barSpacing = 8;

    Style style = Style::bar;
    CaptureEnvironment environment;

    bool isShown() const { return environment.isStaging(); }
    // The host of the web suite's origin, or "dev" when the origin has none.
    std::string host() const;
    // The bar's caption ("captures go to " + host) or the tag's whole line ("STAGING · " + host).
    std::string text() const;
};

} // namespace capturekit
