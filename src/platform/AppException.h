#pragma once

#include <QString>
#include <QVariantMap>

#include <exception>

// The application's own exception: a name (the kind of fault), a reason for
// the user, details in userInfo and the stack at the point it was made.
// It never crosses Qt's event loop: the guard around every action turns it
// into an error report.
class AppException : public std::exception {
public:
    AppException(const QString &name, const QString &reason, const QVariantMap &userInfo = {});

    // A consistency check found a stored or received value of the wrong kind.
    [[nodiscard]] static AppException unexpectedClass(const QString &valueDescription);

    [[nodiscard]] const QString &name() const { return m_name; }
    [[nodiscard]] const QString &reason() const { return m_reason; }
    [[nodiscard]] const QVariantMap &userInfo() const { return m_userInfo; }
    [[nodiscard]] const QString &backtrace() const { return m_backtrace; }

    // The text an error report shows: the reason, then the stack trace and
    // the offending value's description when there is a stack trace.
    [[nodiscard]] QString errorDescription() const;

    const char *what() const noexcept override { return m_what.constData(); }

    // Replaces the captured stack trace (reports read from elsewhere carry their own).
    void setBacktrace(const QString &backtrace) { m_backtrace = backtrace; }

    static QString captureBacktrace(int skipFrames = 1);

private:
    QString m_name;
    QString m_reason;
    QVariantMap m_userInfo;
    QString m_backtrace;
    QByteArray m_what;
};

namespace ExceptionNames {
inline const QString InternalInconsistency = QStringLiteral("NSInternalInconsistencyException");
inline const QString InvalidArgument = QStringLiteral("NSInvalidArgumentException");
inline const QString RangeError = QStringLiteral("NSRangeException");
} // namespace ExceptionNames

namespace ExceptionKeys {
// Description of the value a consistency check refused.
inline const QString ObjectDescription = QStringLiteral("Object Description");
} // namespace ExceptionKeys
