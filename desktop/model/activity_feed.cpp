#include <desktop/model/activity_feed.hpp>

#include <desktop/model/qt_text.hpp>

namespace tarvo::desktop {

using Kind = DesktopUploader::Outcome::Kind;

ActivityFeed::ActivityFeed(DesktopNotifier& notifier, QObject* parent)
    : QObject(parent), notifier_(notifier) {}

void ActivityFeed::announce(const QString& text) {
    notifier_.notify("tarvo Capture", text.toStdString());
}

template <typename T> void ActivityFeed::publish(T& field, T value) {
    if (field != value) {
        field = std::move(value);
        emit changed();
    }
}

void ActivityFeed::setStatus(const QString& status) {
    publish(status_, status);
}

void ActivityFeed::setLastEvent(const QString& event) {
    publish(lastEvent_, event);
}

void ActivityFeed::addSent(int count) {
    publish(sentCount_, sentCount_ + count);
}

void ActivityFeed::setOutboxCount(int count) {
    publish(outboxCount_, count);
}

void ActivityFeed::report(const DesktopUploader::Report& report, const CaptureSubject& subject) {
    const auto& outcome = report.outcome;
    const QString name = subject.name ? " " + *subject.name : QString();
    const QString reason = qtText(outcome.reason);
    Kind kind = outcome.kind;
    if (kind == Kind::skipped && subject.skippedIsFailure) {
        kind = Kind::failed;
    }
    switch (kind) {
    case Kind::sent:
        addSent(1);
        setLastEvent(subject.sentEvent);
        break;
    case Kind::skipped:
        setLastEvent("Skipped" + name + " — " + reason);
        break;
    case Kind::queued:
        setOutboxCount(report.outboxCount);
        setLastEvent("Saved" + name + " to send later — " + reason);
        break;
    case Kind::failed:
        setLastEvent("Failed" + name + " — " + reason);
        break;
    }
    if (subject.notifies && (kind == Kind::queued || kind == Kind::failed)) {
        announce(lastEvent_);
    }
}

} // namespace tarvo::desktop
