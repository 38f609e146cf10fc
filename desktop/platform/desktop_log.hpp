#pragma once

// The app's log: its subsystem is the application id, its categories these.

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/log.hpp>

#include <array>
#include <cstddef>

namespace tarvo::desktop {

enum class LogCategory { app, hotkeys, instance, menu, quick, selection, tray };

inline const capturekit::Logger& desktopLog(LogCategory category) {
    using capturekit::Logger;
    static const std::string subsystem = capturekit::application::identifier();
    static const std::array<Logger, 7> loggers{
        Logger(subsystem, "app"),  Logger(subsystem, "hotkeys"), Logger(subsystem, "instance"),
        Logger(subsystem, "menu"), Logger(subsystem, "quick"),   Logger(subsystem, "selection"),
        Logger(subsystem, "tray")};
    return loggers[static_cast<std::size_t>(category)];
}

} // namespace tarvo::desktop
