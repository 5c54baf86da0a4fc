#include "KeychainSecretServiceBackend.h"

#include "MainThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace {

struct JobOutcome
{
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorString;
    QByteArray data;
};

// Runs the job to its end in a local event loop. User input is held back
// meanwhile, so nobody can start a second send or close the window that
// asked while the keychain is busy. A job that outlives the time-out deletes
// itself when it ends; its answer then goes nowhere, as the loop is gone.
JobOutcome runJob(QKeychain::Job *job, std::chrono::milliseconds timeout)
{
    JobOutcome outcome;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&outcome, &loop](QKeychain::Job *done) {
        outcome.finished = true;
        outcome.error = done->error();
        outcome.errorString = done->errorString();
        if (const auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(done))
            outcome.data = read->binaryData();
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
    job->start();
    if (!outcome.finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!outcome.finished) {
        outcome.error = QKeychain::OtherError;
        outcome.errorString = QStringLiteral("The keychain did not answer in time.");
    }
    return outcome;
}

QString describe(const JobOutcome &outcome)
{
    return outcome.errorString.isEmpty() ? QStringLiteral("Keychain error %1").arg(int(outcome.error))
                                         : outcome.errorString;
}

// QtKeychain's jobs and the Secret Service library's callbacks belong to the
// thread that runs the application's event loop; other threads hand over.
template<class Work>
auto onMainThread(Work work) -> decltype(work())
{
    decltype(work()) result;
    MainThread::invokeAndWait([&] { result = work(); });
    return result;
}

const QString noApplication = QStringLiteral("The keychain needs a running application object.");

} // namespace

KeychainSecretServiceBackend::KeychainSecretServiceBackend(const QString &service,
                                                           std::chrono::milliseconds timeout)
    : m_service(service), m_timeout(timeout)
{
}

bool KeychainSecretServiceBackend::writeSecret(const QString &key, const QByteArray &secret, QString *error)
{
    if (!QCoreApplication::instance()) {
        if (error)
            *error = noApplication;
        return false;
    }
    const JobOutcome outcome = onMainThread([&] {
        auto *job = new QKeychain::WritePasswordJob(m_service);
        job->setKey(key);
        // As text, so the item holds the UTF-8 bytes themselves as other
        // Secret Service tools read them (binary data would go in base64).
        job->setTextData(QString::fromUtf8(secret));
        return runJob(job, m_timeout);
    });
    if (outcome.error == QKeychain::NoError)
        return true;
    if (error)
        *error = describe(outcome);
    return false;
}

KeychainReadResult KeychainSecretServiceBackend::readSecret(const QString &key)
{
    KeychainReadResult result;
    if (!QCoreApplication::instance()) {
        result.status = KeychainReadResult::Status::Failed;
        result.error = noApplication;
        return result;
    }
    const JobOutcome outcome = onMainThread([&] {
        auto *job = new QKeychain::ReadPasswordJob(m_service);
        job->setKey(key);
        return runJob(job, m_timeout);
    });
    switch (outcome.error) {
    case QKeychain::NoError:
        result.status = KeychainReadResult::Status::Found;
        result.secret = outcome.data;
        break;
    case QKeychain::EntryNotFound:
        result.status = KeychainReadResult::Status::Missing;
        break;
    default:
        result.status = KeychainReadResult::Status::Failed;
        result.error = describe(outcome);
        break;
    }
    return result;
}
