#pragma once

// A real name server for the lookup tests: dnsmasq, started on a free
// loopback port with the zone in tests/delivery/dns/.

#include "DNSResolver.h"
#include "FakeSmtpServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

extern char **environ;

// A child with its output in a file, started with posix_spawn: the thread
// checker cannot follow QProcess's way of forking.
class ChildProcess {
public:
    ~ChildProcess() { stop(); }

    bool start(const QStringList &arguments, const QString &outputFile)
    {
        std::vector<QByteArray> args;
        std::vector<char *> argv;
        for (const QString &a : arguments)
            args.push_back(a.toLocal8Bit());
        for (QByteArray &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const QByteArray output = outputFile.toLocal8Bit();
        posix_spawn_file_actions_addopen(&actions, 1, output.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        m_pid = rc == 0 ? m_pid : -1;
        return rc == 0;
    }

    [[nodiscard]] bool running()
    {
        int status = 0;
        if (m_pid <= 0 || ::waitpid(m_pid, &status, WNOHANG) == 0)
            return m_pid > 0;
        m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = -1;
        return false;
    }

    // The exit code, or -1 after a signal or the time-out.
    int wait(int milliseconds)
    {
        const QDeadlineTimer deadline(milliseconds);
        while (running() && !deadline.hasExpired())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return running() ? -1 : m_exitCode;
    }

    void stop()
    {
        if (!running())
            return;
        ::kill(m_pid, SIGTERM);
        if (wait(5000) == -1 && m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_exitCode = -1;
};

class TestNameServer {
public:
    // Empty on success, else what went wrong with the server's own words.
    QString start()
    {
        QString program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"));
        if (program.isEmpty())
            program = QStandardPaths::findExecutable(QStringLiteral("dnsmasq"), {"/usr/sbin", "/sbin"});
        if (program.isEmpty())
            return QStringLiteral("dnsmasq not found: scripts/install-deps.sh installs dnsmasq-base");
        const QString config = QStringLiteral(CORV_SOURCE_DIR "/tests/delivery/dns/dnsmasq.conf");
        m_log = m_dir.filePath(QStringLiteral("dnsmasq.log"));
        // Another test program may take the port between the check and the start: try again.
        for (int attempt = 0; attempt < 5; ++attempt) {
            m_port = FakeSmtpServer::closedPort();
            if (!m_process.start({program, "--keep-in-foreground", "--conf-file=" + config, "--pid-file=",
                                  "--port=" + QString::number(m_port)},
                                 m_log))
                return QStringLiteral("dnsmasq did not start");
            if (waitUntilAnswering())
                return QString();
            m_process.stop();
        }
        return QStringLiteral("dnsmasq did not answer:\n") + log();
    }

    [[nodiscard]] quint16 port() const { return m_port; }

    [[nodiscard]] QString log() const
    {
        QFile file(m_log);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    bool waitUntilAnswering()
    {
        DNSResolver probe;
        probe.setNameServer(QStringLiteral("127.0.0.1"), m_port);
        if (probe.open() != 0)
            return false;
        const QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            if (!m_process.running())
                return false;
            if (probe.resolveName(QStringLiteral("beta.test"), DNSResolver::QueryMX))
                return true;
            // A query to a port nobody listens on fails at once: wait a little before asking again.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    QTemporaryDir m_dir;
    QString m_log;
    ChildProcess m_process;
    quint16 m_port = 0;
};
