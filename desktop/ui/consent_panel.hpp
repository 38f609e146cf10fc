#pragma once

// The AI-consent panel: asks once whether captures may be processed by AI services. It stays on
// top, takes focus when shown, and gives focus back to the window that had it once the person
// has answered.

#include <desktop/platform/desktop_services.hpp>

#include <QWidget>

class QVBoxLayout;

#include <functional>
#include <optional>

namespace tarvo::desktop {

class ConsentPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 460;
    static constexpr int height = 580;

    // `decide` records the answer (the model's recordConsent).
    ConsentPanel(DesktopServices services, std::function<void(bool granted)> decide,
                 QWidget* parent = nullptr);

public slots:
    void showPanel();

private:
    void build();
    void answer(bool granted);
    void addRow(QVBoxLayout& layout, const char* symbol, const QString& title, const QString& text);

    DesktopServices services_;
    std::function<void(bool)> decide_;
    std::optional<ActiveWindow> previousApp_;
};

} // namespace tarvo::desktop
