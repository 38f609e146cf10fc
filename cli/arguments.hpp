#pragma once

// The words after the command name: options are taken out by name, what is left are the command's
// own words. A word that starts with "--" and was not taken is a usage error. A lone "--" ends the
// options: every word after it is the command's own, whatever it starts with.

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::cli {

struct UsageError {
    std::string message; // one line, without the program name
};

class Arguments {
public:
    explicit Arguments(std::vector<std::string> words);

    // "--name VALUE" or "--name=VALUE"; absent when not given.
    std::expected<std::optional<std::string>, UsageError> takeOption(std::string_view name);
    bool takeFlag(std::string_view name);
    // Any "--help" or "-h" among the words before "--".
    bool wantsHelp() const;
    // The first remaining word, if any.
    std::optional<std::string> takeWord();
    // The remaining words, refusing unknown options ("-" alone is a word).
    std::expected<std::vector<std::string>, UsageError> rest() const;
    // Refuses any word left over.
    std::expected<void, UsageError> expectNoMore() const;

private:
    std::vector<std::string> words_;    // before "--": options and words
    std::vector<std::string> operands_; // after "--": words only
};

} // namespace tarvo::cli
