#pragma once

// Which navigations of an embedded web suite stay inside the web view: the suite's own host and
// its subdomains load there, a link the person follows to another site opens in an in-app browser
// sheet, and schemes a browser cannot show go to the system. Pure functions.

#include <optional>
#include <string>
#include <string_view>

namespace capturekit::ShellNavigationPolicy {

enum class Decision { allow, openInSystem, openInSafariSheet };
enum class NewWindowDecision { loadHere, openInSystem, openInSafariSheet, ignore };
enum class MediaCaptureDecision { grant, prompt };

// The host of the web suite's origin, or the production web suite host when it has none.
const std::string& defaultSuiteHost();

Decision decide(std::optional<std::string_view> url, bool isMainFrame, bool isLinkActivated,
                std::string_view suiteHost);
NewWindowDecision decideNewWindow(std::optional<std::string_view> url, std::string_view suiteHost);
// Camera and microphone are granted without asking to the suite's host and its subdomains only.
MediaCaptureDecision decideMediaCapture(std::optional<std::string_view> host,
                                        std::string_view suiteHost);

} // namespace capturekit::ShellNavigationPolicy
