#pragma once

// The account as the menu shows it: the signed-in e-mail, whether this computer holds a device
// token, a sign-in or sign-out in progress and its error, the AI-consent answer, and where the
// credentials are kept. Lives on the main thread; the keyring and the network are used by its
// background tasks.

#include <desktop/model/background_tasks.hpp>

#include <capturekit/platform/notification_center.hpp>

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvo::desktop {

class AccountController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasToken READ hasToken NOTIFY changed)
    Q_PROPERTY(QString signedInEmail READ signedInEmail NOTIFY changed)
    Q_PROPERTY(bool accountBusy READ accountBusy NOTIFY changed)
    Q_PROPERTY(QString accountError READ accountError NOTIFY changed)
    Q_PROPERTY(bool aiDecided READ aiDecided NOTIFY changed)
    Q_PROPERTY(bool aiGranted READ aiGranted NOTIFY changed)
    Q_PROPERTY(QString credentialsNote READ credentialsNote NOTIFY changed)

public:
    // What the keyring and the stored session hold; read off the main thread.
    struct Stored {
        bool hasToken = false;
        std::optional<std::string> email;
        std::optional<std::string> credentialsNote;
    };
    // Blocking: reads the token and the session, and hardens the token's storage.
    static Stored readStored();

    explicit AccountController(QObject* parent = nullptr);
    ~AccountController() override;

    // The start-up reading.
    void apply(const Stored& stored);

    bool hasToken() const { return hasToken_; }
    QString signedInEmail() const { return signedInEmail_; }
    bool accountBusy() const { return accountBusy_; }
    QString accountError() const { return accountError_; }
    bool aiDecided() const { return aiDecided_; }
    bool aiGranted() const { return aiGranted_; }
    // Where credentials are kept when that needs saying (a plain file), or why the keyring could
    // not be used.
    QString credentialsNote() const { return credentialsNote_; }
    std::size_t runningTaskCount() const { return tasks_->runningCount(); }

public slots:
    void signIn(const QString& email, const QString& password);
    void signOut();
    // Reads the token store again; tokenAvailable follows when it holds a token.
    void reloadToken();
    // Reads the token, the session and the consent again, as the command line may have changed
    // them: a token that appeared is tokenAvailable, one that went with its session signedOut.
    void refreshFromStore();
    // Stores a device token typed by hand (trimmed; a blank one is ignored), then reloadToken.
    void saveDeviceToken(const QString& token);
    // The consent panel's answer and the "Use AI on captures" toggle.
    void recordConsent(bool granted);

signals:
    void changed();
    // The consent panel is to be shown.
    void consentNeeded();
    // A reading of the token store found a device token.
    void tokenAvailable();
    // Sign-out has ended; the outbox holds `outboxCount` captures.
    void signedOut(int outboxCount);

private:
    struct Relay;
    struct TokenState;

    void observeNotifications();
    void refreshConsent();
    void refreshAccountEmail();
    void applyToken(const TokenState& state);
    template <typename T> void publish(T& field, T value);

    bool hasToken_ = false;
    QString signedInEmail_;
    bool accountBusy_ = false;
    QString accountError_;
    bool aiDecided_ = false;
    bool aiGranted_ = false;
    QString credentialsNote_;

    // Notification observers hop to the main thread through this; see observeNotifications.
    std::shared_ptr<Relay> relay_;
    std::vector<capturekit::NotificationCenter::Observation> observations_;
    // Last, so it goes first: running tasks stop before any field they report to goes away.
    std::unique_ptr<BackgroundTasks> tasks_;
};

} // namespace tarvo::desktop
