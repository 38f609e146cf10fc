#include "console.hpp"

#include <capturekit/platform/text.hpp>

#include <termios.h>
#include <unistd.h>

#include <iostream>
#include <iterator>

namespace tarvo::cli::Console {

namespace {

std::string withoutFinalLineBreak(std::string text) {
    if (text.ends_with('\n')) {
        text.pop_back();
        if (text.ends_with('\r')) {
            text.pop_back();
        }
    }
    return text;
}

} // namespace

void print(std::string_view line) {
    std::cout << line << '\n' << std::flush;
}

void printError(std::string_view line) {
    std::cerr << line << '\n' << std::flush;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t codePoint : capturekit::text::codePoints(text)) {
        if (codePoint == '\t' || codePoint == '\n' || codePoint == '\r') {
            out += ' ';
        } else if (codePoint < 0x20 || (codePoint >= 0x7f && codePoint <= 0x9f)) {
            capturekit::text::appendCodePoint(out, U'\uFFFD');
        } else {
            capturekit::text::appendCodePoint(out, codePoint);
        }
    }
    return out;
}

std::string readStandardInput() {
    std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    return capturekit::text::validUTF8(withoutFinalLineBreak(std::move(text)));
}

bool inputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> readSecretLine(std::string_view prompt) {
    std::cerr << prompt << std::flush;
    termios original{};
    const bool canHide = tcgetattr(STDIN_FILENO, &original) == 0;
    if (canHide) {
        termios hidden = original;
        hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (canHide) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &original);
    }
    std::cerr << '\n';
    if (!read) {
        return std::nullopt;
    }
    return capturekit::text::validUTF8(withoutFinalLineBreak(line));
}

std::string age(capturekit::Date then, capturekit::Date now) {
    using namespace std::chrono;
    const auto elapsed = duration_cast<minutes>(now - then).count();
    if (elapsed < 1) {
        return "just now";
    }
    if (elapsed < 60) {
        return std::to_string(elapsed) + " min ago";
    }
    if (elapsed < 24 * 60) {
        return std::to_string(elapsed / 60) + " h ago";
    }
    return std::to_string(elapsed / (24 * 60)) + " d ago";
}

} // namespace tarvo::cli::Console
