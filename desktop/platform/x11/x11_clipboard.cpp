#include <desktop/platform/x11/x11_clipboard.hpp>

#include <QByteArray>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QMimeData>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

namespace tarvo::desktop {

namespace {

constexpr std::chrono::milliseconds readTimeout{500};
constexpr std::chrono::milliseconds snapshotTimeout{2000};

// Targets that describe the selection or act on it rather than hold its contents.
constexpr std::array<std::string_view, 12> protocolTargets{
    "TARGETS", "MULTIPLE",         "TIMESTAMP",       "SAVE_TARGETS",
    "DELETE",  "INSERT_SELECTION", "INSERT_PROPERTY", "PIXMAP",
    "BITMAP",  "DRAWABLE",         "COLORMAP",        "application/x-qt-image"};
// Other names of the text that the app offers again from "text/plain" when it restores.
constexpr std::array<std::string_view, 5> textAliases{"STRING", "TEXT", "COMPOUND_TEXT",
                                                      "text/plain", "text/plain;charset=utf-8"};

std::string atomName(Display* display, unsigned long atom) {
    char* name = XGetAtomName(display, atom);
    if (name == nullptr) {
        return {};
    }
    std::string result(name);
    XFree(name);
    return result;
}

template <std::size_t N>
bool contains(const std::array<std::string_view, N>& names, std::string_view name) {
    for (const std::string_view candidate : names) {
        if (candidate == name) {
            return true;
        }
    }
    return false;
}

// Leaves the clipboard without an owner, which is how X11 holds an empty clipboard. Over the
// app's own connection on the main thread, in order with the restores queued before.
void clearClipboard() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    xcb_connection_t* xcb = x11 != nullptr ? x11->connection() : nullptr;
    if (xcb == nullptr) {
        return;
    }
    constexpr std::string_view name = "CLIPBOARD";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        xcb, xcb_intern_atom(xcb, 0, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr);
    if (atom == nullptr) {
        return;
    }
    xcb_set_selection_owner(xcb, XCB_NONE, atom->atom, XCB_CURRENT_TIME);
    std::free(atom);
    xcb_flush(xcb);
}

} // namespace

std::string X11Clipboard::formatName(const std::string& target, bool offersUTF8) {
    if (target.empty() || contains(protocolTargets, target)) {
        return {};
    }
    if (target == "UTF8_STRING") {
        return "text/plain";
    }
    if (contains(textAliases, target)) {
        return offersUTF8 ? std::string() : target;
    }
    return target;
}

std::vector<ClipboardItem> X11Clipboard::snapshot() {
    Display* display = connection_.display();
    const unsigned long clipboard = connection_.atom("CLIPBOARD");
    if (display == nullptr || reader_.owner(clipboard) == None) {
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + snapshotTimeout;
    std::vector<std::string> names;
    for (const unsigned long target : reader_.targets(clipboard, readTimeout)) {
        names.push_back(atomName(display, target));
    }
    const bool offersUTF8 = std::ranges::find(names, "UTF8_STRING") != names.end();
    ClipboardItem item;
    for (const std::string& target : names) {
        const std::string name = formatName(target, offersUTF8);
        if (name.empty() || item.contents.contains(name) ||
            std::chrono::steady_clock::now() >= deadline) {
            continue;
        }
        auto data = reader_.read(clipboard, connection_.atom(target.c_str()), readTimeout);
        if (data && data->format == 8) {
            item.contents.emplace(name, std::move(data->bytes));
        }
    }
    if (item.contents.empty()) {
        return {};
    }
    return {std::move(item)};
}

void X11Clipboard::restore(std::vector<ClipboardItem> items) {
    if (items.empty()) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), clearClipboard,
                                  Qt::QueuedConnection);
        return;
    }
    // The clipboard holds one item on X11: the first saved one.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [item = std::move(items.front())] {
            auto* mime = new QMimeData();
            for (const auto& [format, bytes] : item.contents) {
                mime->setData(QString::fromStdString(format),
                              QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
            }
            QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
        },
        Qt::QueuedConnection);
}

} // namespace tarvo::desktop
