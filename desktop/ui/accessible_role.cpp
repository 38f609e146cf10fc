#include <desktop/ui/accessible_role.hpp>

#include <QAccessibleWidget>
#include <QWidget>

namespace tarvo::desktop {

namespace {

constexpr auto roleProperty = "tarvoAccessibleRole";

QAccessibleInterface* withRole(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    const QVariant role = widget->property(roleProperty);
    if (!role.isValid()) {
        return nullptr;
    }
    return new QAccessibleWidget(widget, static_cast<QAccessible::Role>(role.toInt()));
}

} // namespace

void installAccessibleRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(withRole);
        return true;
    }();
    (void)installed;
}

void setAccessibleRole(QWidget& widget, QAccessible::Role role) {
    installAccessibleRoles();
    widget.setProperty(roleProperty, static_cast<int>(role));
    // With accessibility on, the widget's constructor may already have made its interface with
    // the plain role; the next query makes it anew with this one.
    if (auto* existing = QAccessible::queryAccessibleInterface(&widget);
        existing != nullptr && existing->role() != role) {
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
    }
}

void announceAlert(QWidget& widget) {
    QAccessibleEvent event(&widget, QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

} // namespace tarvo::desktop
