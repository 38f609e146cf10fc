#pragma once

// "About tarvo Capture": the version, the backend this build talks to, where the credentials,
// the outbox and the settings are kept, and the notices of the libraries the app is built on.

#include <QWidget>

namespace tarvo::desktop {

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int preferredWidth = 480;

    explicit AboutWindow(QWidget* parent = nullptr);

    // The facts the window shows, a line each.
    static QStringList facts();
    static QString notices();

    // Shows it, fitted to the screen it opens on, with the focus on "Close".
    void showFitted();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tarvo::desktop
