#include "manager/notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace gathrix::manager {

void Notifier::Notify(const QString& summary, const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    call << QStringLiteral("Gathrix Download Manager") << 0u << QStringLiteral("net.example.gathrix.manager")
         << summary << body << QStringList() << QVariantMap() << -1;
    call.setAutoStartService(false);
    // Sent without waiting: no service, no answer, no harm.
    bus.send(call);
}

}  // namespace gathrix::manager
