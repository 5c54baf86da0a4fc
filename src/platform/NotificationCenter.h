#pragma once

#include <QMutex>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

struct Notification {
    QString name;
    const void *object = nullptr; // the sender, compared by identity only
    QVariantMap userInfo;
};

// Synchronous notifications: postNotification() calls every matching
// observer on the poster's thread before it returns. An observer stays
// registered as long as the Observation handle it got lives, so an object
// that keeps its handles as members can never be called after it is gone.
class NotificationCenter {
public:
    using Handler = std::function<void(const Notification &)>;

    class Observation {
    public:
        Observation() = default;
        ~Observation() { reset(); }
        Observation(Observation &&other) noexcept;
        Observation &operator=(Observation &&other) noexcept;
        Observation(const Observation &) = delete;
        Observation &operator=(const Observation &) = delete;

        void reset();
        [[nodiscard]] bool isActive() const { return m_center != nullptr; }

    private:
        friend class NotificationCenter;
        Observation(NotificationCenter *center, quint64 id) : m_center(center), m_id(id) {}
        NotificationCenter *m_center = nullptr;
        quint64 m_id = 0;
    };

    NotificationCenter() = default;
    Q_DISABLE_COPY_MOVE(NotificationCenter)

    // The process-wide centre; it is never destroyed, so handles may outlive main().
    static NotificationCenter &defaultCenter();

    // A null name observes every notification; a null sender observes every sender.
    [[nodiscard]] Observation addObserver(const QString &name, const void *sender, Handler handler);
    void postNotification(const QString &name, const void *sender, const QVariantMap &userInfo = {});
    void postNotification(const Notification &notification);

    [[nodiscard]] int observerCount() const;

private:
    struct Registration {
        quint64 id;
        QString name;
        const void *sender;
        Handler handler;
        bool removed = false;
    };
    void remove(quint64 id);

    mutable QMutex m_mutex;
    quint64 m_nextId = 1;
    std::vector<std::shared_ptr<Registration>> m_registrations;
};
