#pragma once

// What the menu's top lines say: the status line, the last event, and the counts of captures sent
// in this run and waiting in the outbox. Every send's outcome is worded here, one way for every
// kind of capture; what goes wrong while the menu is closed also reaches the desktop's
// notifications.

#include <desktop/model/desktop_uploader.hpp>
#include <desktop/platform/desktop_notifier.hpp>

#include <QObject>
#include <QString>

#include <optional>

namespace tarvo::desktop {

// The capture a report is about, as the event line names it.
struct CaptureSubject {
    // The file name of a screenshot ("Skipped NAME — …"); absent for text.
    std::optional<QString> name;
    // The event line of a delivered capture.
    QString sentEvent;
    // Quick tasks say "Failed" for a skipped send too.
    bool skippedIsFailure = false;
    // Whether a failed or queued send is also told as a desktop notification (the quick-entry box
    // says it where the person is looking).
    bool notifies = true;
};

class ActivityFeed final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY changed)
    Q_PROPERTY(QString lastEvent READ lastEvent NOTIFY changed)
    Q_PROPERTY(int sentCount READ sentCount NOTIFY changed)
    Q_PROPERTY(int outboxCount READ outboxCount NOTIFY changed)

public:
    explicit ActivityFeed(DesktopNotifier& notifier, QObject* parent = nullptr);

    QString status() const { return status_; }
    QString lastEvent() const { return lastEvent_; }
    int sentCount() const { return sentCount_; }
    int outboxCount() const { return outboxCount_; }

    void setStatus(const QString& status);
    void setLastEvent(const QString& event);
    void addSent(int count);
    void setOutboxCount(int count);

    // The event line and counts of a send's outcome: sent adds one, queued takes the outbox's new
    // count. A failed or queued send is announced too.
    void report(const DesktopUploader::Report& report, const CaptureSubject& subject);
    // Tells the person through a desktop notification, with the text the menu shows.
    void announce(const QString& text);

signals:
    void changed();

private:
    template <typename T> void publish(T& field, T value);

    DesktopNotifier& notifier_;
    QString status_ = QStringLiteral("Screenshots off");
    QString lastEvent_;
    int sentCount_ = 0;
    int outboxCount_ = 0;
};

} // namespace tarvo::desktop
