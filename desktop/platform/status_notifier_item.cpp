#include <desktop/platform/status_notifier_item.hpp>

#include <desktop/platform/desktop_log.hpp>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QtEndian>

namespace tarvo::desktop {

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.data;
    argument.endStructure();
    return argument;
}

namespace {

constexpr auto watcherService = "org.kde.StatusNotifierWatcher";
constexpr auto watcherPath = "/StatusNotifierWatcher";
constexpr auto itemPath = "/StatusNotifierItem";

// The org.kde.StatusNotifierItem interface of the item: what a panel reads and calls.
class ItemAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(QList<tarvo::desktop::StatusNotifierPixmap> IconPixmap READ iconPixmap)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    explicit ItemAdaptor(StatusNotifierItem* item) : QDBusAbstractAdaptor(item), item_(item) {
        connect(item, &StatusNotifierItem::iconChanged, this, &ItemAdaptor::NewIcon);
        connect(item, &StatusNotifierItem::toolTipChanged, this, &ItemAdaptor::NewToolTip);
    }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return item_->id(); }
    QString title() const { return item_->title(); }
    QString status() const { return QStringLiteral("Active"); }
    int windowId() const { return 0; }
    QString iconName() const { return {}; }
    StatusNotifierPixmaps iconPixmap() const { return item_->pixmaps(); }
    bool itemIsMenu() const { return false; }
    // The app opens its own menu window on a click; it exports no D-Bus menu.
    QDBusObjectPath menu() const { return QDBusObjectPath(QStringLiteral("/NO_DBUSMENU")); }

public slots:
    void Activate(int x, int y) { emit item_->activated(x, y); }
    void ContextMenu(int x, int y) { emit item_->activated(x, y); }
    void SecondaryActivate(int, int) {}
    void Scroll(int, const QString&) {}

signals:
    void NewIcon();
    void NewToolTip();
    void NewTitle();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem* item_;
};

} // namespace

StatusNotifierItem::StatusNotifierItem(QString id, QString title, QObject* parent)
    : QObject(parent), id_(std::move(id)), title_(std::move(title)) {
    qDBusRegisterMetaType<StatusNotifierPixmap>();
    qDBusRegisterMetaType<StatusNotifierPixmaps>();
    new ItemAdaptor(this);
}

StatusNotifierItem::~StatusNotifierItem() {
    withdraw();
}

bool StatusNotifierItem::publish() {
    if (published_) {
        return true;
    }
    static int count = 0;
    serviceName_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2")
                       .arg(QCoreApplication::applicationPid())
                       .arg(++count);
    auto bus = QDBusConnection::sessionBus();
    if (!bus.registerService(serviceName_)) {
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(itemPath), this, QDBusConnection::ExportAdaptors)) {
        bus.unregisterService(serviceName_);
        return false;
    }
    const auto call = QDBusMessage::createMethodCall(
        QString::fromLatin1(watcherService), QString::fromLatin1(watcherPath),
        QString::fromLatin1(watcherService), QStringLiteral("RegisterStatusNotifierItem"));
    const auto reply = bus.call(QDBusMessage(call) << serviceName_, QDBus::Block, 5000);
    published_ = reply.type() == QDBusMessage::ReplyMessage;
    if (!published_) {
        desktopLog(LogCategory::tray)
            .error("The StatusNotifierWatcher refused the item: " +
                   reply.errorMessage().toStdString());
        bus.unregisterObject(QString::fromLatin1(itemPath));
        bus.unregisterService(serviceName_);
    }
    return published_;
}

void StatusNotifierItem::withdraw() {
    if (!published_) {
        return;
    }
    auto bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(itemPath));
    bus.unregisterService(serviceName_);
    published_ = false;
}

void StatusNotifierItem::setIcon(const QList<QImage>& sizes) {
    pixmaps_.clear();
    for (const QImage& size : sizes) {
        const QImage argb = size.convertToFormat(QImage::Format_ARGB32);
        StatusNotifierPixmap pixmap{argb.width(), argb.height(), {}};
        pixmap.data.resize(static_cast<qsizetype>(argb.sizeInBytes()));
        // ARGB32 is host-order 32-bit words; the item hands them over big-endian.
        auto* out = reinterpret_cast<quint32*>(pixmap.data.data());
        for (int row = 0; row < argb.height(); ++row) {
            const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(row));
            for (int column = 0; column < argb.width(); ++column) {
                *out++ = qToBigEndian(line[column]);
            }
        }
        pixmaps_.push_back(std::move(pixmap));
    }
    emit iconChanged();
}

void StatusNotifierItem::setToolTip(const QString& text) {
    toolTip_ = text;
    emit toolTipChanged();
}

} // namespace tarvo::desktop

#include "status_notifier_item.moc"
