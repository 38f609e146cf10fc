#include <desktop/ui/about_window.hpp>

#include <desktop/model/qt_text.hpp>
#include <desktop/ui/accessible_role.hpp>
#include <desktop/ui/plain_label.hpp>
#include <desktop/ui/window_fit.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/delivery/capture_outbox.hpp>
#include <capturekit/platform/file_secret_store.hpp>
#include <capturekit/platform/secret_store.hpp>

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvo::desktop {

using namespace capturekit;

AboutWindow::AboutWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setMinimumWidth(preferredWidth);
    setWindowTitle(QStringLiteral("About tarvo Capture"));
    setAccessibleName(windowTitle());
    setAccessibleRole(*this, QAccessible::Dialog);
    auto* layout = new QVBoxLayout(this);
    auto* title =
        plainLabel(QStringLiteral("tarvo Capture ") + QCoreApplication::applicationVersion(), this);
    QFont large = title->font();
    large.setBold(true);
    large.setPointSizeF(large.pointSizeF() * 1.2);
    title->setFont(large);
    layout->addWidget(title);
    for (const QString& fact : facts()) {
        auto* line = plainLabel(fact, this);
        line->setWordWrap(true);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(line);
    }
    auto* text = new QPlainTextEdit(notices(), this);
    text->setReadOnly(true);
    text->setAccessibleName(QStringLiteral("Licence notices"));
    text->setMinimumHeight(120);
    layout->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setAutoDefault(true);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    buttons->addStretch(1);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    setFocusProxy(close);
}

QStringList AboutWindow::facts() {
    const auto& environment = CaptureConfig::environment();
    const auto outbox = CaptureOutbox::directory();
    const auto settings = CaptureConfig::standardPreferences().databasePath();
    return {
        QStringLiteral("Backend: ") + qtText(CaptureConfig::endpoints().apiBase()) +
            (environment.isStaging() ? QStringLiteral(" (staging)") : QString()),
        QStringLiteral("Credentials: ") +
            (SecretStore::usesPlainFile()
                 ? QStringLiteral("a plain file, ") +
                       qtText(FileSecretStore::defaultPath().string())
                 : QStringLiteral("the desktop’s keyring (Secret Service)")),
        QStringLiteral("Captures waiting to be sent: ") +
            (outbox ? qtText(outbox->string()) : QStringLiteral("no folder")),
        QStringLiteral("Settings: ") +
            (settings ? qtText(settings->string()) : QStringLiteral("not kept")),
    };
}

QString AboutWindow::notices() {
    return QStringLiteral(
        "tarvo Capture is built on these libraries, each under its own licence:\n\n"
        "Qt 6 — GNU LGPL 3.0 (The Qt Company Ltd and other contributors)\n"
        "libcurl — curl licence (Daniel Stenberg and contributors)\n"
        "OpenSSL — Apache License 2.0 (The OpenSSL Project Authors)\n"
        "ICU — Unicode licence (Unicode, Inc. and others)\n"
        "SQLite — public domain\n"
        "libsecret — GNU LGPL 2.1 or later (GNOME contributors)\n"
        "libsystemd — GNU LGPL 2.1 or later (systemd contributors)\n"
        "libdeflate — MIT licence (Eric Biggers)\n"
        "JSON for Modern C++ — MIT licence (Niels Lohmann)\n"
        "at-spi2-core — GNU LGPL 2.1 or later (GNOME contributors)\n"
        "libX11, libXtst, libXfixes, libxcb — MIT/X11 licence (X.Org Foundation)\n\n"
        "The full texts are in /usr/share/doc/<package>/copyright on Debian systems.");
}

void AboutWindow::showFitted() {
    WindowFit::fitAndCentre(*this);
    WindowFit::showFocusAtOnce(*this);
    show();
    raise();
    activateWindow();
    setFocus();
}

void AboutWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tarvo::desktop
