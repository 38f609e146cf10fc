#pragma once

// Notifications through the session bus's org.freedesktop.Notifications service, which every
// Linux desktop runs. Calls are asynchronous; the id the service gives back is kept so the next
// notification replaces the last one instead of piling up.

#include <desktop/platform/desktop_notifier.hpp>

#include <QObject>

#include <cstdint>

namespace tarvo::desktop {

class FreedesktopNotifier final : public QObject, public DesktopNotifier {
    Q_OBJECT
public:
    explicit FreedesktopNotifier(QObject* parent = nullptr);

    void notify(const std::string& summary, const std::string& body) override;

private:
    std::uint32_t lastID_ = 0;
};

} // namespace tarvo::desktop
