#pragma once

// The app's tray icon published over D-Bus as a StatusNotifierItem, for a panel whose
// StatusNotifierWatcher appeared after the app started: Qt decides once, at start, whether its
// own tray icon goes over D-Bus, so such a panel would otherwise never show the app.

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QImage>
#include <QObject>
#include <QString>

namespace tarvo::desktop {

// One size of the icon as the item hands it over: ARGB32 in network byte order.
struct StatusNotifierPixmap {
    int width = 0;
    int height = 0;
    QByteArray data;
};
using StatusNotifierPixmaps = QList<StatusNotifierPixmap>;

class StatusNotifierItem : public QObject {
    Q_OBJECT
public:
    StatusNotifierItem(QString id, QString title, QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    // Takes a bus name of its own, exports the item and registers it with the watcher; false when
    // any of that failed (nothing stays published then).
    bool publish();
    void withdraw();
    bool isPublished() const { return published_; }

    void setIcon(const QList<QImage>& sizes);
    void setToolTip(const QString& text);

    QString id() const { return id_; }
    QString title() const { return title_; }
    QString toolTip() const { return toolTip_; }
    StatusNotifierPixmaps pixmaps() const { return pixmaps_; }
    QString serviceName() const { return serviceName_; }

signals:
    // The panel's click (Activate or ContextMenu) at screen coordinates, 0 when it gives none.
    void activated(int x, int y);
    void iconChanged();
    void toolTipChanged();

private:
    QString id_;
    QString title_;
    QString toolTip_;
    StatusNotifierPixmaps pixmaps_;
    QString serviceName_;
    bool published_ = false;
};

} // namespace tarvo::desktop

Q_DECLARE_METATYPE(tarvo::desktop::StatusNotifierPixmap)
