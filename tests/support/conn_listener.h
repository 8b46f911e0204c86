#pragma once
// A listener thread for connection tests and benchmarks: it records every
// status word and every received byte, and checks that messages arrive once
// each, in the order they were made.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Words = std::vector<std::string>;

class TListener {
public:
    TListener();
    ~TListener();
    TListener(const TListener&) = delete;
    TListener& operator=(const TListener&) = delete;

    std::uint32_t Id() const { return FId.load(); }
    Words Statuses() const;
    std::string Data() const;
    std::size_t DataSize() const;
    bool InOrder() const { return FInOrder.load(); }

    // Sleeps until Pred holds for the statuses and the data received so far,
    // or TimeoutMs passed (never when negative); answers its last value.
    bool WaitFor(const std::function<bool(const Words&, const std::string&)>& Pred, int TimeoutMs = 10000) const;

private:
    void Run();

    std::thread FThread;
    std::atomic<std::uint32_t> FId {0};
    std::atomic<bool> FStop {false};
    std::atomic<bool> FInOrder {true};
    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    bool FReady = false;
    std::uint32_t FLastPID = 0;
    Words FStatuses;
    std::string FData;
};

// Waits until the listener has seen Count status words.
bool WaitWords(const TListener& L, std::size_t Count);

Words Concat(Words A, const Words& B);
