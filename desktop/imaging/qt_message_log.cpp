#include <desktop/imaging/qt_message_log.hpp>

#include <capturekit/platform/application_info.hpp>
#include <capturekit/platform/log.hpp>

#include <QString>

namespace tarvo::desktop {

namespace {

capturekit::LogLevel logLevelOf(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return capturekit::LogLevel::debug;
    case QtInfoMsg:
        return capturekit::LogLevel::info;
    case QtWarningMsg:
        return capturekit::LogLevel::notice;
    case QtCriticalMsg:
        return capturekit::LogLevel::error;
    case QtFatalMsg:
        return capturekit::LogLevel::fault;
    }
    return capturekit::LogLevel::notice;
}

void logQtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
    static const capturekit::Logger logger(capturekit::application::identifier(), "qt");
    logger.log(logLevelOf(type), message.toStdString());
}

} // namespace

void logQtMessages() {
    qInstallMessageHandler(logQtMessage);
}

} // namespace tarvo::desktop
