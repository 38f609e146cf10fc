#include "arguments.hpp"

#include <algorithm>

namespace tarvo::cli {

namespace {

bool looksLikeOption(const std::string& word) {
    return word.size() > 1 && word.front() == '-';
}

} // namespace

Arguments::Arguments(std::vector<std::string> words) {
    const auto end = std::ranges::find(words, std::string("--"));
    if (end != words.end()) {
        operands_.assign(std::next(end), words.end());
        words.erase(end, words.end());
    }
    words_ = std::move(words);
}

std::expected<std::optional<std::string>, UsageError> Arguments::takeOption(std::string_view name) {
    const std::string flag = "--" + std::string(name);
    for (auto it = words_.begin(); it != words_.end(); ++it) {
        if (*it == flag) {
            if (std::next(it) == words_.end()) {
                return std::unexpected(UsageError{flag + " needs a value"});
            }
            std::string value = *std::next(it);
            words_.erase(it, std::next(it, 2));
            return value;
        }
        if (it->starts_with(flag + "=")) {
            std::string value = it->substr(flag.size() + 1);
            words_.erase(it);
            return value;
        }
    }
    return std::optional<std::string>();
}

bool Arguments::takeFlag(std::string_view name) {
    const std::string flag = "--" + std::string(name);
    const auto found = std::ranges::find(words_, flag);
    if (found == words_.end()) {
        return false;
    }
    words_.erase(found);
    return true;
}

bool Arguments::wantsHelp() const {
    return std::ranges::any_of(
        words_, [](const std::string& word) { return word == "--help" || word == "-h"; });
}

std::optional<std::string> Arguments::takeWord() {
    std::vector<std::string>& from = words_.empty() ? operands_ : words_;
    if (from.empty() || (&from == &words_ && looksLikeOption(from.front()))) {
        return std::nullopt;
    }
    std::string word = from.front();
    from.erase(from.begin());
    return word;
}

std::expected<std::vector<std::string>, UsageError> Arguments::rest() const {
    for (const auto& word : words_) {
        if (word.starts_with("--")) {
            return std::unexpected(UsageError{"unknown option " + word});
        }
    }
    std::vector<std::string> all = words_;
    all.insert(all.end(), operands_.begin(), operands_.end());
    return all;
}

std::expected<void, UsageError> Arguments::expectNoMore() const {
    if (!words_.empty() && looksLikeOption(words_.front())) {
        return std::unexpected(UsageError{"unknown option " + words_.front()});
    }
    const auto& left = words_.empty() ? operands_ : words_;
    if (left.empty()) {
        return {};
    }
    return std::unexpected(UsageError{"unexpected word \"" + left.front() + "\""});
}

} // namespace tarvo::cli
