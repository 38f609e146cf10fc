#pragma once

// The person's answer to whether AI may run over captures, kept in the app-group preferences so
// every program of the suite on this computer sees the same answer. Nothing is kept in memory.

#include <string_view>

namespace capturekit::AIConsent {

inline constexpr std::string_view needsDecisionNotification = "AIConsent.needsDecision";
inline constexpr std::string_view didChangeNotification = "AIConsent.didChange";
inline constexpr std::string_view offNotice =
    "AI is off for captures on this phone, so nothing is suggested or filled in. Settings → Use "
    "AI on captures turns it on.";

bool hasDecided();
bool isGranted();
// Records an answer and posts didChangeNotification.
void record(bool granted);
// Forgets the answer and the suggestions switch, and posts didChangeNotification.
void reset();
// Posts needsDecisionNotification unless an answer is recorded.
void askIfUndecided();
// The separate suggestions switch; on unless a boolean off is stored. Setting it posts nothing.
bool suggestionsEnabled();
void setSuggestionsEnabled(bool enabled);
bool mayRequestSuggestions();

} // namespace capturekit::AIConsent
