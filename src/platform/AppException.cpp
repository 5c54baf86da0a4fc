#include "AppException.h"

#include <QStringList>

#include <cxxabi.h>
#include <execinfo.h>
#include <cstdlib>

AppException::AppException(const QString &name, const QString &reason, const QVariantMap &userInfo)
    : m_name(name), m_reason(reason), m_userInfo(userInfo), m_backtrace(captureBacktrace(2)),
      m_what((name + QStringLiteral(": ") + reason).toUtf8())
{
}

AppException AppException::unexpectedClass(const QString &valueDescription)
{
    return AppException(ExceptionNames::InternalInconsistency,
                        QStringLiteral("Object type is of unexpected class: %1").arg(valueDescription),
                        {{ExceptionKeys::ObjectDescription, valueDescription}});
}

QString AppException::errorDescription() const
{
    const QString details = m_userInfo.value(ExceptionKeys::ObjectDescription).toString();
    const bool hasDetails = m_userInfo.contains(ExceptionKeys::ObjectDescription);
    if (m_backtrace.isEmpty())
        return m_reason;
    if (hasDetails)
        return QStringLiteral("Reason:\n%1\n\nStack trace:\n%2\n\nDetails:\n%3").arg(m_reason, m_backtrace, details);
    return QStringLiteral("Reason:\n%1\n\nStack trace:\n%2").arg(m_reason, m_backtrace);
}

// One line per frame, with demangled names where the symbol table has them.
QString AppException::captureBacktrace(int skipFrames)
{
    void *frames[64];
    const int count = ::backtrace(frames, 64);
    char **symbols = ::backtrace_symbols(frames, count);
    if (!symbols)
        return {};
    QStringList lines;
    for (int i = skipFrames; i < count; ++i) {
        QString line = QString::fromLocal8Bit(symbols[i]);
        // "binary(mangled+0x12) [0xaddr]": demangle the part between '(' and '+'.
        const int open = line.indexOf(u'(');
        const int plus = line.indexOf(u'+', open + 1);
        if (open >= 0 && plus > open + 1) {
            const QByteArray mangled = line.mid(open + 1, plus - open - 1).toLocal8Bit();
            int status = 0;
            char *demangled = abi::__cxa_demangle(mangled.constData(), nullptr, nullptr, &status);
            if (status == 0 && demangled)
                line = line.left(open + 1) + QString::fromLocal8Bit(demangled) + line.mid(plus);
            std::free(demangled);
        }
        lines << QStringLiteral("%1  %2").arg(i - skipFrames).arg(line);
    }
    std::free(symbols);
    return lines.join(u'\n');
}
