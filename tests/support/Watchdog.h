#pragma once
// Ends the process when one step of a corpus run takes too long: a hang is reported by
// the name of what hung, not by the test runner's timeout.
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace morbek::test {

class Watchdog {
public:
    explicit Watchdog(QString what, std::chrono::seconds limit = std::chrono::seconds(180))
        : what_(std::move(what)), limit_(limit) {
        thread_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            if (!done_cv_.wait_for(lock, limit_, [this] { return done_; })) {
                std::fprintf(stderr, "HANG: %s took longer than %lld s\n", what_.toLocal8Bit().constData(),
                             static_cast<long long>(limit_.count()));
                std::fflush(stderr);
                ::_exit(124);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    QString what_;
    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

} // namespace morbek::test
