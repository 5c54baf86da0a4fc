// The keychain against a real Secret Service. Run by run-with-secret-service.sh,
// which gives it a private D-Bus session with an unlocked gnome-keyring; it
// refuses to run anywhere else, so it never writes to a real user's keyring.
// secret-tool reads the items from outside, as other programs would.
#include "Keychain.h"
#include "KeychainSecretServiceBackend.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>

#include <gtest/gtest.h>

#include <thread>

namespace {

class SecretServiceKeychain : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (qEnvironmentVariable("CORV_PRIVATE_SECRET_SERVICE") != QLatin1String("1"))
            FAIL() << "run this program through tests/foundation/run-with-secret-service.sh";
        Keychain::setBackend(nullptr);
    }
};

// Output of secret-tool; a failed run gives a null array.
QByteArray secretTool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), arguments);
    if (!tool.waitForFinished(20000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return {};
    const QByteArray output = tool.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}

QByteArray storedBytes(const QString &server, const QString &login)
{
    return secretTool({QStringLiteral("lookup"), QStringLiteral("server"), QStringLiteral("Corvantiline"),
                       QStringLiteral("user"), Keychain::itemKey(server, login)});
}

int itemCount(const QString &server, const QString &login)
{
    const QByteArray listing =
        secretTool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("server"),
                    QStringLiteral("Corvantiline"), QStringLiteral("user"), Keychain::itemKey(server, login)});
    // One "[/path]" line starts each item.
    return int(('\n' + listing).count("\n[/"));
}

const QString server = QStringLiteral("smtp.example.org");

} // namespace

TEST_F(SecretServiceKeychain, ItemsAreReplacedKeptApartAndReadableFromOutside)
{
    const QString ann = QStringLiteral("ann@example.org");
    EXPECT_TRUE(Keychain::getKeychainPasswordForServer(server, ann).isNull());
    QString error;
    ASSERT_TRUE(Keychain::setKeychainServer(server, ann, QStringLiteral("first"), &error)) << qPrintable(error);
    // Pairs that a naive "login@server" key would mix up, a stored empty
    // password, and one that must travel as UTF-8.
    const struct { QString host, login, password; } rows[] = {
        {server, ann, QStringLiteral("second")},
        {server, QStringLiteral("bob"), QStringLiteral("for bob")},
        {server, QStringLiteral("bob@smtp"), QStringLiteral("for bob@smtp")},
        {QStringLiteral("example.org"), QStringLiteral("bob@smtp"), QStringLiteral("other")},
        {server, QStringLiteral("dave"), QStringLiteral("")},
        {QStringLiteral("smtp.bücher.example"), QStringLiteral("jürgen@bücher.example"),
         QStringLiteral("pä$$wörd ✓ Ω 🐦 \"'\\%@")},
    };
    for (const auto &row : rows)
        ASSERT_TRUE(Keychain::setKeychainServer(row.host, row.login, row.password, &error)) << qPrintable(error);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.login.toStdString());
        const QString read = Keychain::getKeychainPasswordForServer(row.host, row.login);
        EXPECT_EQ(read, row.password);
        EXPECT_FALSE(read.isNull());
        EXPECT_EQ(storedBytes(row.host, row.login), row.password.toUtf8());
        EXPECT_EQ(itemCount(row.host, row.login), 1);
    }
}

TEST_F(SecretServiceKeychain, WorkerThreadsAreServedByTheMainThread)
{
    const QString login = QStringLiteral("worker");
    QString read;
    bool stored = false;
    QEventLoop loop;
    std::thread worker([&] {
        stored = Keychain::setKeychainServer(server, login, QStringLiteral("from a worker"));
        read = Keychain::getKeychainPasswordForServer(server, login);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    EXPECT_TRUE(stored);
    EXPECT_EQ(read, QStringLiteral("from a worker"));
}

TEST_F(SecretServiceKeychain, TimedOutCallLeavesLaterCallsWorking)
{
    // A zero time-out ends the wait before the job has even started; the job
    // still runs afterwards and must not reach the wait that is gone.
    KeychainSecretServiceBackend impatient(QStringLiteral("Corvantiline"), std::chrono::milliseconds(0));
    QString error;
    EXPECT_FALSE(impatient.writeSecret(Keychain::itemKey(server, QStringLiteral("erin")), "late", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(impatient.readSecret(Keychain::itemKey(server, QStringLiteral("erin"))).status,
              KeychainReadResult::Status::Failed);

    ASSERT_TRUE(Keychain::setKeychainServer(server, QStringLiteral("erin"), QStringLiteral("on time")));
    EXPECT_EQ(Keychain::getKeychainPasswordForServer(server, QStringLiteral("erin")), QStringLiteral("on time"));
}

// Last: the keyring cannot be unlocked again without a prompt.
TEST_F(SecretServiceKeychain, LockedKeyringIsReportedPromptly)
{
    const QString login = QStringLiteral("carol");
    ASSERT_TRUE(Keychain::setKeychainServer(server, login, QStringLiteral("kept")));
    QProcess lock;
    lock.start(QStringLiteral("dbus-send"),
               {QStringLiteral("--session"), QStringLiteral("--print-reply"),
                QStringLiteral("--dest=org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
                QStringLiteral("org.freedesktop.Secret.Service.Lock"),
                QStringLiteral("array:objpath:/org/freedesktop/secrets/collection/login")});
    ASSERT_TRUE(lock.waitForFinished(20000));
    ASSERT_EQ(lock.exitCode(), 0) << lock.readAllStandardError().constData();

    QElapsedTimer clock;
    clock.start();
    QString error;
    EXPECT_FALSE(Keychain::setKeychainServer(server, login, QStringLiteral("lost"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(Keychain::getKeychainPasswordForServer(server, login).isNull());
    EXPECT_LT(clock.elapsed(), 10000);
}
