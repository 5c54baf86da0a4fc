#pragma once

// The project files opened or saved last, newest first, for File ▸ Open
// Recent: kept in the user defaults under "recentDocuments", so that every
// window's menu and the next launch see the same list.
//
// Main thread only.

#include <QString>
#include <QStringList>

class UserDefaults;

class RecentDocuments {
public:
    static inline const QString DefaultsKey = QStringLiteral("recentDocuments");
    static constexpr int MaximumCount = 10;

    explicit RecentDocuments(UserDefaults &defaults) : m_defaults(defaults) {}
    // Over the standard user defaults.
    [[nodiscard]] static RecentDocuments standard();

    // Absolute paths, newest first; whatever else the stored value holds is passed over.
    [[nodiscard]] QStringList paths() const;
    // The file goes to the front, once however its name is spelled.
    void noteDocument(const QString &path);
    void forgetDocument(const QString &path);
    void clear();

private:
    void store(const QStringList &paths);

    UserDefaults &m_defaults;
};
