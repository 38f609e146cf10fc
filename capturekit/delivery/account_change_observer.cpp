// The apps-enabled cache belongs to the account that fetched it. Sign-in and sign-out live in the
// account area, below this one, and only announce themselves; this observer, registered when the
// program loads, forgets the cache. It is linked into every program that links the library (not
// only into those that happen to call AppsEnabled), because the cache is shared on disk.

#include <capturekit/account/supabase_auth.hpp>
#include <capturekit/delivery/apps_enabled.hpp>
#include <capturekit/platform/notification_center.hpp>

namespace {

const capturekit::NotificationCenter::Observation forgetAppsEnabledOnAccountChange =
    capturekit::NotificationCenter::shared().addObserver(
        std::string(capturekit::SupabaseAuth::accountDidChangeNotification),
        [](std::string_view) { capturekit::AppsEnabled::clearCache(); });

} // namespace
