#include "NotificationCenter.h"

#include <algorithm>

NotificationCenter::Observation::Observation(Observation &&other) noexcept
    : m_center(std::exchange(other.m_center, nullptr)), m_id(std::exchange(other.m_id, 0))
{
}

NotificationCenter::Observation &NotificationCenter::Observation::operator=(Observation &&other) noexcept
{
    if (this != &other) {
        reset();
        m_center = std::exchange(other.m_center, nullptr);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}

void NotificationCenter::Observation::reset()
{
    if (m_center)
        m_center->remove(m_id);
    m_center = nullptr;
    m_id = 0;
}

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter *center = new NotificationCenter;
    return *center;
}

NotificationCenter::Observation NotificationCenter::addObserver(const QString &name, const void *sender,
                                                                Handler handler)
{
    QMutexLocker lock(&m_mutex);
    const quint64 id = m_nextId++;
    m_registrations.push_back(std::make_shared<Registration>(Registration{id, name, sender, std::move(handler)}));
    return Observation(this, id);
}

void NotificationCenter::remove(quint64 id)
{
    QMutexLocker lock(&m_mutex);
    auto it = std::find_if(m_registrations.begin(), m_registrations.end(),
                           [id](const auto &r) { return r->id == id; });
    if (it != m_registrations.end()) {
        // A delivery in progress holds its own reference; the flag stops it
        // from calling an observer that was removed meanwhile.
        (*it)->removed = true;
        m_registrations.erase(it);
    }
}

void NotificationCenter::postNotification(const QString &name, const void *sender, const QVariantMap &userInfo)
{
    postNotification(Notification{name, sender, userInfo});
}

void NotificationCenter::postNotification(const Notification &notification)
{
    std::vector<std::shared_ptr<Registration>> matching;
    {
        QMutexLocker lock(&m_mutex);
        for (const auto &r : m_registrations) {
            if ((r->name.isNull() || r->name == notification.name) && (!r->sender || r->sender == notification.object))
                matching.push_back(r);
        }
    }
    for (const auto &r : matching) {
        {
            QMutexLocker lock(&m_mutex);
            if (r->removed)
                continue;
        }
        r->handler(notification);
    }
}

int NotificationCenter::observerCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_registrations.size());
}
