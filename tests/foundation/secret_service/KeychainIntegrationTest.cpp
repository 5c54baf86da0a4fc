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

TEST_F(SecretServiceKeychain, StoringAgainReplacesTheOneItem)
{
    const QString login = QStringLiteral("ann@example.org");
    EXPECT_TRUE(Keychain::getKeychainPasswordForServer(server, login).isNull());

    QString error;
    ASSERT_TRUE(Keychain::setKeychainServer(server, login, QStringLiteral("first"), &error)) << qPrintable(error);
    ASSERT_TRUE(Keychain::setKeychainServer(server, login, QStringLiteral("second"), &error)) << qPrintable(error);
    EXPECT_EQ(Keychain::getKeychainPasswordForServer(server, login), QStringLiteral("second"));
    EXPECT_EQ(storedBytes(server, login), QByteArray("second"));
    EXPECT_EQ(itemCount(server, login), 1);
}

TEST_F(SecretServiceKeychain, NonAsciiRoundTripsAsUtf8)
{
    const QString host = QStringLiteral("smtp.bücher.example");
    const QString login = QStringLiteral("jürgen@bücher.example");
    const QString password = QStringLiteral("pä$$wörd ✓ Ω 🐦 \"'\\%@");
    ASSERT_TRUE(Keychain::setKeychainServer(host, login, password));
    EXPECT_EQ(Keychain::getKeychainPasswordForServer(host, login), password);
    EXPECT_EQ(storedBytes(host, login), password.toUtf8());
}

TEST_F(SecretServiceKeychain, EmptyPasswordIsStoredNotMissing)
{
    const QString login = QStringLiteral("dave");
    ASSERT_TRUE(Keychain::setKeychainServer(server, login, QString()));
    const QString password = Keychain::getKeychainPasswordForServer(server, login);
    EXPECT_TRUE(password.isEmpty());
    EXPECT_FALSE(password.isNull());
}

TEST_F(SecretServiceKeychain, TwoLoginsOnOneServerAreTwoItems)
{
    const QString bob = QStringLiteral("bob");
    const QString bobAtHost = QStringLiteral("bob@smtp");
    ASSERT_TRUE(Keychain::setKeychainServer(server, bob, QStringLiteral("for bob")));
    ASSERT_TRUE(Keychain::setKeychainServer(server, bobAtHost, QStringLiteral("for bob@smtp")));
    ASSERT_TRUE(Keychain::setKeychainServer(QStringLiteral("example.org"), bobAtHost, QStringLiteral("other")));
    EXPECT_EQ(Keychain::getKeychainPasswordForServer(server, bob), QStringLiteral("for bob"));
    EXPECT_EQ(Keychain::getKeychainPasswordForServer(server, bobAtHost), QStringLiteral("for bob@smtp"));
    EXPECT_EQ(itemCount(server, bob), 1);
    EXPECT_EQ(itemCount(server, bobAtHost), 1);
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
