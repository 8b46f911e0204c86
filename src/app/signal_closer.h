#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a call on the user-interface thread,
// so that the program ends through its normal path (configuration written,
// threads stopped, unsaved edits kept) instead of being killed in the middle.
// The signal handler only writes the signal's number into a socket pair; the
// event loop reads it there.
#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

class TSignalCloser : public QObject {
    Q_OBJECT
public:
    // OnSignal runs on this thread with the signal's number. One object at a
    // time; the previous handlers come back when it goes.
    explicit TSignalCloser(std::function<void(int)> OnSignal, QObject* Parent = nullptr);
    ~TSignalCloser() override;
    TSignalCloser(const TSignalCloser&) = delete;
    TSignalCloser& operator=(const TSignalCloser&) = delete;

    // Whether the handlers are in place.
    bool Installed() const { return FInstalled; }

private:
    void Readable();

    std::function<void(int)> FOnSignal;
    std::unique_ptr<QSocketNotifier> FNotifier;
    bool FInstalled = false;
};
