#pragma once

// The real kestrel-cli binary as the command line's tests run it: to its end, or while the test
// plugs and pulls units and signals it.

#include <algorithm>
#include <csignal>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

constexpr int kCliWaitMs = 30000;

class CCliProcess
{
public:
    // environment: "NAME=VALUE" set, "NAME=" removed, over the test's own.
    explicit CCliProcess(const QStringList &args, const QStringList &environment = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &strEntry : environment) {
            const QString strName = strEntry.section('=', 0, 0);
            const QString strValue = strEntry.section('=', 1);
            if (strValue.isEmpty())
                env.remove(strName);
            else
                env.insert(strName, strValue);
        }
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(KESTREL_CLI_PATH), args);
        m_process.waitForStarted();
    }

    ~CCliProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    CCliProcess(const CCliProcess &) = delete;
    CCliProcess &operator=(const CCliProcess &) = delete;

    // Waits until stderr holds the text; false when the process ended or time ran out first.
    bool WaitForMessage(const QString &strText)
    {
        QDeadlineTimer deadline(kCliWaitMs);
        m_process.setReadChannel(QProcess::StandardError);
        while (!Err().contains(strText)) {
            if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(
                static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100)));
        }
        return true;
    }

    void Signal(int nSignal) { ::kill(static_cast<pid_t>(m_process.processId()), nSignal); }

    // The exit code once it ended by itself (-1 when it was killed or did not end in time).
    int Finish(int nTimeoutMs = kCliWaitMs)
    {
        m_process.waitForFinished(nTimeoutMs);
        Err();
        m_strOut += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_process.exitStatus() == QProcess::NormalExit &&
                       m_process.state() == QProcess::NotRunning
                   ? m_process.exitCode()
                   : -1;
    }

    const QString &Out() const { return m_strOut; }
    const QString &Err()
    {
        m_strErr += QString::fromUtf8(m_process.readAllStandardError());
        return m_strErr;
    }

private:
    QProcess m_process;
    QString m_strOut;
    QString m_strErr;
};

struct CliRun
{
    int nExitCode = -1;
    QString strOut;
    QString strErr;
};

// One run to its end; one still running after nTimeoutMs is killed and counts as -1.
inline CliRun RunCli(const QStringList &args, int nTimeoutMs = 60000,
                     const QStringList &environment = {})
{
    CCliProcess process(args, environment);
    const int nExitCode = process.Finish(nTimeoutMs);
    return {nExitCode, process.Out(), process.Err()};
}

// The file's path once all of text is in it; empty when it could not be written.
inline QString WriteFile(const QString &strPath, const QByteArray &text)
{
    QFile file(strPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return file.fileName();
}
