#pragma once

// The AI-consent panel: asks once whether captures may be processed by AI services. It stays on
// top, takes focus when shown ("Turn it on" first), fits its screen (the rows scroll when it is
// small), and gives focus back to the window that had it once the person has answered. Escape or
// closing the window records nothing: the question comes back at the next start.

#include <desktop/platform/desktop_services.hpp>

#include <QDialog>

class QPushButton;
class QVBoxLayout;

#include <functional>
#include <optional>

namespace tarvo::desktop {

class ConsentPanel : public QDialog {
    Q_OBJECT
public:
    // The size it asks for; smaller screens get less, with the rows scrolling.
    static constexpr int preferredWidth = 460;
    static constexpr int preferredHeight = 580;

    // `decide` records the answer (the model's recordConsent).
    ConsentPanel(DesktopServices services, std::function<void(bool granted)> decide,
                 QWidget* parent = nullptr);

public slots:
    void showPanel();

public:
    // The rows' height at the preferred width, and the buttons: no gap, nothing cut.
    QSize sizeHint() const override;

protected:
    // Escape and the window's close button: no decision.
    void reject() override;

private:
    void build();
    void answer(bool granted);
    void giveFocusBack();
    void addRow(QVBoxLayout& layout, const char* symbol, const QString& title, const QString& text);

    DesktopServices services_;
    std::function<void(bool)> decide_;
    std::optional<ActiveWindow> previousApp_;
    QWidget* rows_ = nullptr;
    QPushButton* turnOn_ = nullptr;
};

} // namespace tarvo::desktop
