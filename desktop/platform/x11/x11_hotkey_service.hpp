#pragma once

// The app's global hot keys on X11: each key is grabbed on the root window with its modifiers, once
// for every NumLock and CapsLock state. One native event filter serves every key: it takes the key
// events of its grabs and passes everything else on to Qt.

#include <desktop/platform/global_hotkey.hpp>

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <vector>

typedef struct _XDisplay Display;

namespace tarvo::desktop {

class X11GlobalHotkey;

class X11HotkeyService final : public HotkeyService, public QAbstractNativeEventFilter {
public:
    // Uses the application's own X connection; without one every registration fails.
    X11HotkeyService();
    ~X11HotkeyService() override;

    std::unique_ptr<GlobalHotkey> makeHotkey(std::uint32_t id, char letter,
                                             std::function<void()> action) override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The key code of a letter on the current keyboard map; 0 when it has none.
    unsigned int keycode(char letter) const;
    // Grabs the key with the modifiers in every lock state; on any refusal nothing stays grabbed.
    HotkeyRegistration grab(X11GlobalHotkey& key, unsigned int keycode, unsigned int modifiers);
    void ungrab(X11GlobalHotkey& key, unsigned int keycode, unsigned int modifiers);

private:
    std::vector<unsigned int> lockVariants() const;
    X11GlobalHotkey* keyFor(unsigned int keycode, unsigned int state) const;

    Display* display_ = nullptr;
    unsigned long root_ = 0;
    std::vector<X11GlobalHotkey*> grabbed_;
};

} // namespace tarvo::desktop
