#pragma once

// The desktop services the app works through: the X11 and freedesktop implementations in the
// app, in-memory fakes in the tests.

#include <desktop/platform/desktop_notifier.hpp>
#include <desktop/platform/folder_opener.hpp>
#include <desktop/platform/frontmost_app.hpp>
#include <desktop/platform/global_hotkey.hpp>
#include <desktop/platform/login_item.hpp>
#include <desktop/platform/selection_steps.hpp>

namespace tarvo::desktop {

struct DesktopServices {
    LoginItem& loginItem;
    FolderOpener& folderOpener;
    FrontmostApp& frontmostApp;
    HotkeyService& hotkeys;
    SelectionSteps selection;
    DesktopNotifier& notifier;
};

} // namespace tarvo::desktop
