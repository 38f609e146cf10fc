#include <desktop/platform/x11/atspi_selection.hpp>

#include <desktop/platform/x11/accessibility_bus.hpp>

#include <atspi/atspi.h>

#include <chrono>
#include <cstdlib>
#include <string_view>

#include <unistd.h>

namespace tarvo::desktop {

namespace {

// A walk of the active window's tree looks at no more nodes than this and takes no longer, so a
// program with a huge tree, or one that is slow to answer, cannot hold the capture up; a call
// that is not answered in time ends the walk.
constexpr int nodeBudget = 600;
constexpr int maxDepth = 40;
constexpr std::chrono::milliseconds walkTime{250};
constexpr int callTimeoutMs = 120;

struct Walk {
    int nodesLeft = nodeBudget;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + walkTime;
    bool failed = false;

    // Whether the walk may go on after a call that reported `error` (which it frees).
    bool goesOn(GError* error) {
        if (error != nullptr) {
            failed = true;
            g_error_free(error);
        }
        return !failed && --nodesLeft >= 0 && std::chrono::steady_clock::now() < deadline;
    }
};

template <typename T> struct Owned {
    T* object;
    explicit Owned(T* pointer) : object(pointer) {}
    ~Owned() {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

bool hasState(AtspiAccessible* node, AtspiStateType state) {
    Owned<AtspiStateSet> states(atspi_accessible_get_state_set(node));
    return states.object != nullptr && atspi_state_set_contains(states.object, state);
}

// The selected text of a text element; empty when nothing is selected, absent when the element
// holds no text.
std::optional<std::string> selectedText(AtspiAccessible* node) {
    Owned<AtspiText> text(atspi_accessible_get_text_iface(node));
    if (text.object == nullptr) {
        return std::nullopt;
    }
    std::string result;
    const gint count = atspi_text_get_n_selections(text.object, nullptr);
    for (gint index = 0; index < count; ++index) {
        AtspiRange* range = atspi_text_get_selection(text.object, index, nullptr);
        if (range != nullptr && range->end_offset > range->start_offset) {
            gchar* part =
                atspi_text_get_text(text.object, range->start_offset, range->end_offset, nullptr);
            if (part != nullptr) {
                result += result.empty() ? "" : "\n";
                result += part;
                g_free(part);
            }
        }
        g_free(range);
    }
    return result;
}

AccessibleFocus::Role roleOf(AtspiAccessible* node) {
    switch (atspi_accessible_get_role(node, nullptr)) {
    case ATSPI_ROLE_PASSWORD_TEXT:
        return AccessibleFocus::Role::passwordText;
    case ATSPI_ROLE_TERMINAL:
        return AccessibleFocus::Role::terminal;
    default:
        return AccessibleFocus::Role::other;
    }
}

// The focused element: its role, or its parent's when that is a password field (toolkits that
// wrap the editable text of a password entry in the entry itself), and its selection.
AccessibleFocus focusOf(AtspiAccessible* focused) {
    AccessibleFocus focus{roleOf(focused), selectedText(focused).value_or(std::string())};
    if (focus.role == AccessibleFocus::Role::other) {
        Owned<AtspiAccessible> parent(atspi_accessible_get_parent(focused, nullptr));
        if (parent.object != nullptr &&
            roleOf(parent.object) == AccessibleFocus::Role::passwordText) {
            focus.role = AccessibleFocus::Role::passwordText;
        }
    }
    if (focus.role == AccessibleFocus::Role::passwordText) {
        focus.selection.clear();
    }
    return focus;
}

// The focused element below the node, if the walk finds one within its budget.
std::optional<AccessibleFocus> focusBelow(AtspiAccessible* node, int depth, Walk& walk) {
    if (depth > maxDepth || !walk.goesOn(nullptr)) {
        return std::nullopt;
    }
    Owned<AtspiStateSet> states(atspi_accessible_get_state_set(node));
    if (states.object == nullptr) {
        return std::nullopt;
    }
    if (atspi_state_set_contains(states.object, ATSPI_STATE_FOCUSED)) {
        return focusOf(node);
    }
    // Lists and terminals that manage their descendants may hold thousands of them.
    if (depth > 0 && (!atspi_state_set_contains(states.object, ATSPI_STATE_SHOWING) ||
                      atspi_state_set_contains(states.object, ATSPI_STATE_MANAGES_DESCENDANTS))) {
        return std::nullopt;
    }
    GError* error = nullptr;
    const gint count = atspi_accessible_get_child_count(node, &error);
    for (gint index = 0; index < count && walk.goesOn(error); ++index) {
        Owned<AtspiAccessible> child(atspi_accessible_get_child_at_index(node, index, &error));
        if (child.object == nullptr) {
            continue;
        }
        if (auto found = focusBelow(child.object, depth + 1, walk)) {
            return found;
        }
    }
    if (error != nullptr) {
        walk.goesOn(error);
    }
    return std::nullopt;
}

// The focused element, found by the program itself in one call, for toolkits that offer the
// collection interface; a walk from here costs a round trip for every node, and a program may not
// answer some of them at all (menu items it has not built yet). A new reference, or null.
AtspiAccessible* focusedByCollection(AtspiAccessible* window) {
    Owned<AtspiCollection> collection(atspi_accessible_get_collection_iface(window));
    if (collection.object == nullptr) {
        return nullptr;
    }
    GArray* wanted = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
    const AtspiStateType focused = ATSPI_STATE_FOCUSED;
    g_array_append_val(wanted, focused);
    Owned<AtspiStateSet> states(atspi_state_set_new(wanted));
    g_array_free(wanted, TRUE);
    Owned<AtspiMatchRule> rule(atspi_match_rule_new(
        states.object, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_NONE, nullptr,
        ATSPI_Collection_MATCH_NONE, nullptr, ATSPI_Collection_MATCH_NONE, FALSE));
    GError* error = nullptr;
    GArray* matches = atspi_collection_get_matches(
        collection.object, rule.object, ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, &error);
    if (error != nullptr) {
        g_error_free(error);
    }
    if (matches == nullptr) {
        return nullptr;
    }
    AtspiAccessible* found =
        matches->len > 0 ? g_array_index(matches, AtspiAccessible*, 0) : nullptr;
    for (guint index = 1; index < matches->len; ++index) {
        g_object_unref(g_array_index(matches, AtspiAccessible*, index));
    }
    g_array_free(matches, TRUE);
    return found;
}

// The application's active window, a new reference, or null.
AtspiAccessible* activeWindowOf(AtspiAccessible* application, Walk& walk) {
    const gint count = atspi_accessible_get_child_count(application, nullptr);
    for (gint index = 0; index < count && walk.goesOn(nullptr); ++index) {
        AtspiAccessible* window = atspi_accessible_get_child_at_index(application, index, nullptr);
        if (window != nullptr && hasState(window, ATSPI_STATE_ACTIVE)) {
            return window;
        }
        if (window != nullptr) {
            g_object_unref(window);
        }
    }
    return nullptr;
}

std::string nameOf(AtspiAccessible* node) {
    gchar* name = atspi_accessible_get_name(node, nullptr);
    std::string result = name != nullptr ? name : "";
    g_free(name);
    return result;
}

// The program's name as its window titles spell it: toolkits put the program's command on the bus
// ("mousepad") and its name for people in its titles ("notes.txt - Mousepad").
std::string programName(const std::string& name, std::string_view title) {
    for (const std::string_view separator : {" — ", " - ", " – "}) {
        const auto at = title.rfind(separator);
        if (at == std::string_view::npos) {
            continue;
        }
        const std::string spelled(title.substr(at + separator.size()));
        if (g_ascii_strcasecmp(spelled.c_str(), name.c_str()) == 0) {
            return spelled;
        }
    }
    return name;
}

std::optional<AccessibleFocus> focusInActiveWindow(AtspiAccessible* application, Walk& walk) {
    Owned<AtspiAccessible> window(activeWindowOf(application, walk));
    if (window.object == nullptr) {
        return std::nullopt;
    }
    if (Owned<AtspiAccessible> focused(focusedByCollection(window.object)); focused.object) {
        return focusOf(focused.object);
    }
    return focusBelow(window.object, 0, walk);
}

// What `visit` first gives for one of the applications on the bus, in the bus's order.
template <typename T, typename Visit>
std::optional<T> firstApplicationGiving(Walk& walk, Visit visit) {
    Owned<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (desktop.object == nullptr) {
        return std::nullopt;
    }
    const gint count = atspi_accessible_get_child_count(desktop.object, nullptr);
    for (gint index = 0; index < count && walk.goesOn(nullptr); ++index) {
        Owned<AtspiAccessible> application(
            atspi_accessible_get_child_at_index(desktop.object, index, nullptr));
        if (application.object == nullptr) {
            continue;
        }
        if (auto found = visit(application.object)) {
            return found;
        }
    }
    return std::nullopt;
}

} // namespace

bool AtspiSelection::busIsOn() const {
    return findAccessibilityBus(connection_, std::chrono::milliseconds(callTimeoutMs)).has_value();
}

bool AtspiSelection::start() {
    if (!started_) {
        if (atspi_init() > 1) {
            return false;
        }
        // Dispatch the bus connection on this thread, never on the app's main loop.
        atspi_set_main_context(g_main_context_get_thread_default());
        atspi_set_timeout(callTimeoutMs, callTimeoutMs);
        started_ = true;
    }
    return true;
}

std::optional<ActiveWindow> AtspiSelection::activeWindow() {
    if (!busIsOn() || !start()) {
        return std::nullopt;
    }
    Walk walk;
    return firstApplicationGiving<ActiveWindow>(
        walk, [&](AtspiAccessible* application) -> std::optional<ActiveWindow> {
            // The app's own window is active while its menu is open; nothing is read from it.
            const long pid = atspi_accessible_get_process_id(application, nullptr);
            Owned<AtspiAccessible> window(pid != ::getpid() ? activeWindowOf(application, walk)
                                                            : nullptr);
            if (window.object == nullptr) {
                return std::nullopt;
            }
            std::string title = nameOf(window.object);
            return ActiveWindow{.id = 0,
                                .name = programName(nameOf(application), title),
                                .identifier = "",
                                .pid = pid,
                                .title = std::move(title)};
        });
}

std::optional<AccessibleFocus> AtspiSelection::read(const std::optional<ActiveWindow>& app) {
    if (!busIsOn() || !start()) {
        return std::nullopt;
    }
    const bool knownProcess = app && app->pid > 0;
    Walk walk;
    return firstApplicationGiving<AccessibleFocus>(
        walk, [&](AtspiAccessible* application) -> std::optional<AccessibleFocus> {
            if (knownProcess && atspi_accessible_get_process_id(application, nullptr) != app->pid) {
                return std::nullopt;
            }
            return focusInActiveWindow(application, walk);
        });
}

} // namespace tarvo::desktop
