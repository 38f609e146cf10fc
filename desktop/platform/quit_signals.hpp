#pragma once

// SIGTERM, SIGINT and SIGHUP as a Qt signal on the main thread: the handler only writes the
// signal's number to a socket pair, which a socket notifier reads in the event loop.

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace tarvo::desktop {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void received(int signalNumber);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tarvo::desktop
