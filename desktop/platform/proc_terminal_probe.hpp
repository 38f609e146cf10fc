#pragma once

// The terminal probe on Linux: the window's process, found by its id in /proc, holds a
// pseudo-terminal's master side when one of its open files is the multiplexer (/dev/ptmx or
// /dev/pts/ptmx). Only processes of this user are looked at; an id from another machine or
// another process namespace is most often nobody's, or not ours.

#include <desktop/platform/terminal_probe.hpp>

#include <filesystem>

namespace tarvo::desktop {

class ProcTerminalProbe final : public TerminalProbe {
public:
    // A process with more open files than this, none of them a terminal's, is not told apart.
    static constexpr int maxFilesLooked = 16384;

    explicit ProcTerminalProbe(std::filesystem::path proc = "/proc") : proc_(std::move(proc)) {}

    std::optional<bool> holdsTerminal(const ActiveWindow& app) override;

private:
    std::filesystem::path proc_;
};

} // namespace tarvo::desktop
