#pragma once
// A wake-up for a thread that sleeps in poll(): one thread signals it, the
// sleeper has Fd() in its poll set (readable once signalled) and consumes the
// signal when it goes on sleeping. Closed with the object.

class TWakeEvent {
public:
    TWakeEvent() = default;
    ~TWakeEvent() { Close(); }
    TWakeEvent(const TWakeEvent&) = delete;
    TWakeEvent& operator=(const TWakeEvent&) = delete;

    // Makes the descriptor; false (errno says why) when the system refuses.
    bool Open();
    void Close();
    // -1 while closed: poll() passes over such an entry.
    int Fd() const { return FFd; }
    // Makes Fd() readable; does nothing while closed.
    void Signal();
    // Takes every signal back: Fd() is no longer readable.
    void Consume();

private:
    int FFd = -1;
};
