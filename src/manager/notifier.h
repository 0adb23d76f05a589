#pragma once
// A desktop notification through the freedesktop.org notification service
// on the session bus. Without a session bus or a service nothing is shown,
// and nothing is said: a notification is a courtesy. Never waits for an
// answer.

#include <QString>

namespace gathrix::manager {

class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void Notify(const QString& summary, const QString& body);
};

}  // namespace gathrix::manager
