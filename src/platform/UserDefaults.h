#pragma once

// Persistent preferences in an INI file, with registered defaults kept in
// memory. Strings are stored as text; every other value (booleans, numbers,
// lists, dictionaries, nested to any depth) is stored with its type, so what
// is read back from the file is what was stored. Typed reads follow the
// value rules of Values.h, so "No", "0" and false all read as false.
// Every operation may be called from any thread.

#include <QAtomicInteger>
#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

class UserDefaults {
public:
    explicit UserDefaults(const QString &filePath);
    ~UserDefaults();
    Q_DISABLE_COPY_MOVE(UserDefaults)

    // The application's defaults, in the user's configuration folder.
    static UserDefaults &standardUserDefaults();
    static QString defaultStandardFilePath();
    // Points the standard defaults at another file and forgets the
    // registered defaults, as a new process would (for tests).
    static void setStandardFile(const QString &filePath);

    [[nodiscard]] QString filePath() const;

    // Adds to the registered defaults; a registered value is read only
    // while no value is stored under its key. Never written to the file.
    void registerDefaults(const QVariantMap &defaults);

    // The stored value, else the registered one, else an invalid QVariant.
    [[nodiscard]] QVariant objectForKey(const QString &key) const;
    [[nodiscard]] bool boolForKey(const QString &key) const;
    [[nodiscard]] qint64 integerForKey(const QString &key) const;
    [[nodiscard]] float floatForKey(const QString &key) const;
    [[nodiscard]] double doubleForKey(const QString &key) const;
    // A string, or a number's text; a null string for anything else.
    [[nodiscard]] QString stringForKey(const QString &key) const;
    // nullopt when the value is missing or of another kind.
    [[nodiscard]] std::optional<QVariantList> arrayForKey(const QString &key) const;
    [[nodiscard]] std::optional<QVariantMap> dictionaryForKey(const QString &key) const;

    // Stores and writes the file at once. An invalid value removes the key.
    // Only strings, numbers, booleans, data, dates, and lists and
    // dictionaries of these are accepted; anything else raises AppException
    // (InvalidArgument). An empty key is ignored.
    void setObject(const QVariant &value, const QString &key);
    void setBool(bool value, const QString &key);
    void setInteger(qint64 value, const QString &key);
    void setFloat(float value, const QString &key);
    void setDouble(double value, const QString &key);
    void removeObjectForKey(const QString &key);

    // Writes pending changes and reads changes made by other processes;
    // false when the file could not be written or read.
    bool synchronize();

    // How many stores and removals so far could not be written to the file.
    // A failed change stays pending in memory (and is read back) until a
    // later write succeeds, so a caller that made several changes compares
    // this count before and after to learn whether all of them reached disk.
    [[nodiscard]] quint64 failedWriteCount() const { return m_failedWrites.loadRelaxed(); }

private:
    void noteWriteStatus(int status);

    mutable QMutex m_mutex;
    QAtomicInteger<quint64> m_failedWrites = 0;
    QString m_filePath;
    QVariantMap m_registered;
};
