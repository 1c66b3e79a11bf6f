#pragma once
// Runs one of our programs as a real process and follows the lines it writes on stdout
// (the program's test hooks report there and read commands from stdin).
#include "tests/support/Files.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace morbek::test {

class RunningProgram {
public:
    RunningProgram(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment, const QString& workingDirectory = {}) {
        process_.setProgram(program);
        process_.setArguments(arguments);
        process_.setProcessEnvironment(environment);
        if (!workingDirectory.isEmpty())
            process_.setWorkingDirectory(workingDirectory);
        process_.start();
    }
    ~RunningProgram() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    QProcess& process() { return process_; }
    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() != QProcess::NotRunning; }

    // Every stdout line so far.
    const QStringList& Lines() {
        Collect();
        return lines_;
    }
    QString Errors() {
        Collect();
        return errors_;
    }

    // Waits until a line equal to `line` has been written (at any time since start).
    bool WaitForLine(const QString& line, int ms = 30000) {
        return WaitFor([&] { return lines_.contains(line); }, ms);
    }
    // Waits until a line starting with `prefix` has been written at or after index `from`;
    // returns that line, or an empty string.
    QString WaitForPrefix(const QString& prefix, int from = 0, int ms = 30000) {
        QString found;
        WaitFor(
            [&] {
                for (int i = from; i < lines_.size(); ++i)
                    if (lines_[i].startsWith(prefix)) {
                        found = lines_[i];
                        return true;
                    }
                return false;
            },
            ms);
        return found;
    }

    void Send(const QString& command) {
        process_.write(command.toUtf8() + '\n');
        process_.waitForBytesWritten(5000);
    }

    bool WaitForExit(int ms = 30000) {
        if (process_.state() == QProcess::NotRunning)
            return true;
        const bool ended = process_.waitForFinished(ms);
        Collect();
        return ended;
    }

private:
    template <typename Done> bool WaitFor(Done done, int ms) {
        QDeadlineTimer deadline(ms);
        for (;;) {
            Collect();
            if (done())
                return true;
            if (process_.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            process_.waitForReadyRead(50);
        }
    }

    void Collect() {
        pending_ += process_.readAllStandardOutput();
        errors_ += QString::fromUtf8(process_.readAllStandardError());
        int eol;
        while ((eol = pending_.indexOf('\n')) >= 0) {
            lines_ << QString::fromUtf8(pending_.left(eol));
            pending_.remove(0, eol + 1);
        }
    }

    QProcess process_;
    QByteArray pending_;
    QStringList lines_;
    QString errors_;
};

} // namespace morbek::test
