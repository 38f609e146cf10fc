#pragma once

// Library colours as Qt colours.

#include <capturekit/account/environment_banner.hpp>

#include <QColor>

namespace tarvo::desktop {

inline QColor qtColor(const capturekit::EnvironmentBanner::Color& color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue));
}

} // namespace tarvo::desktop
