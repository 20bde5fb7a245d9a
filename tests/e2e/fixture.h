// The fixture every end-to-end test uses: it starts players, gives each test a hard time
// limit (a watchdog ends the players, so every wait of the harness returns), and always
// closes what the test started.
#pragma once

#include <gtest/gtest.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include "e2e/harness.h"
#include "e2e/songs.h"

namespace e2e {

class PlayerTest : public ::testing::Test {
protected:
    static constexpr DWORD kTimeLimitMs = 60000;
    // A test that runs longer by design (the soak) says so here.
    virtual DWORD TimeLimitMs() const { return kTimeLimitMs; }

    // What the player keeps between runs (recent files, the SoundFont chosen): each test
    // starts without it and leaves none behind.
    static void ForgetSettings()
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Zulin Player", 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "Recent Files");
            RegDeleteValueA(key, "SoundFont");
            RegCloseKey(key);
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Zulin Player");
    }

    void SetUp() override
    {
        ForgetSettings();
        const DWORD limitMs = TimeLimitMs();
        watchdog_ = std::thread([this, limitMs] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!done_cv_.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return done_; })) {
                fired_ = true;
                for (HANDLE h : processes_)
                    TerminateProcess(h, 3);
            }
        });
    }

    void TearDown() override
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        watchdog_.join();
        for (auto& p : players_)
            p->Quit(3000);
        ForgetSettings();
        EXPECT_FALSE(fired_) << "the test ran past its time limit of " << TimeLimitMs() / 1000 << " s";
    }

    // Starts a player with this command-line tail; null when it does not come up.
    Player* Launch(const std::string& tail = "", bool waitForWindow = true, const std::string& folder = "")
    {
        players_.emplace_back(new Player);
        Player* p = players_.back().get();
        p->SetStartFolder(folder);
        p->SetProgram(program_);
        bool started = waitForWindow ? p->Start(tail) : p->Launch(tail);
        if (p->Process()) {
            std::lock_guard<std::mutex> lock(mutex_);
            processes_.push_back(p->Process());
        }
        return started ? p : nullptr;
    }

    static std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

    // Later launches start this program instead of the player beside the driver.
    void UseProgram(const std::string& exe) { program_ = exe; }

private:
    std::string program_;
    std::vector<std::unique_ptr<Player>> players_;
    std::thread watchdog_;
    std::mutex mutex_;
    std::condition_variable done_cv_;
    std::vector<HANDLE> processes_;
    bool done_ = false;
    bool fired_ = false;
};

}  // namespace e2e
