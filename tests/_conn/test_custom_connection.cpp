#include "_conn/custom_connection.h"
#include "support/thread_switches.h"
#include "support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// A transport whose answers the test decides. Received bytes come from Feed.
class TestConn : public TCustomConnection {
public:
    explicit TestConn(bool ASilent = false) : TCustomConnection(ASilent) { SetReconnectTimeout(10); }
    ~TestConn() override { StopThreads(); }

    std::atomic<TConnStatus> ConnectResult {stConnected};
    std::atomic<TConnStatus> ProcessResult {stConnected};
    std::atomic<TConnStatus> ReadResult {stConnected};
    std::atomic<bool> Transmit {true};
    std::atomic<int> ConnectCalls {0};
    std::atomic<int> DisconnectCalls {0};

    void Feed(const std::string& Chunk)
    {
        std::lock_guard<std::mutex> g(FLock);
        FChunks.push_back(Chunk);
    }
    std::uint32_t NextPID() const { return FPID.load(); }
    std::size_t Pending()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FChunks.size();
    }
    std::string Sent()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FSent;
    }
    std::size_t SendCapacity()
    {
        std::lock_guard<std::mutex> g(FSendBufferCS);
        return FSendBuffer.size();
    }
    std::pair<int, int> SendMarks()
    {
        std::lock_guard<std::mutex> g(FSendBufferCS);
        return {FSendIdx, FSendLength};
    }
    using TCustomConnection::DoWrite;
    using TCustomConnection::SetProp;

protected:
    TConnStatus DoConnect() override
    {
        TCustomConnection::DoConnect();
        ++ConnectCalls;
        return ConnectResult.load();
    }
    TConnStatus DoDisconnect() override
    {
        ++DisconnectCalls;
        return TCustomConnection::DoDisconnect();
    }

public:
    // While set, the connection thread stops inside its next DoRead until it is cleared.
    std::atomic<bool> HoldRead {false};
    std::atomic<bool> InHeldRead {false};

protected:
    TConnStatus DoRead(void*& Data, std::int32_t& DataSize) override
    {
        while (HoldRead.load()) {
            InHeldRead = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        InHeldRead = false;
        std::lock_guard<std::mutex> g(FLock);
        if (!FChunks.empty()) {
            const std::string c = FChunks.front();
            FChunks.pop_front();
            Data = std::malloc(c.size());
            std::memcpy(Data, c.data(), c.size());
            DataSize = static_cast<std::int32_t>(c.size());
        }
        return ReadResult.load();
    }
    TConnStatus DoProcess() override
    {
        if (Transmit.load()) {
            std::lock_guard<std::mutex> g(FSendBufferCS);
            std::lock_guard<std::mutex> l(FLock);
            FSent.append(reinterpret_cast<const char*>(FSendBuffer.data()) + FSendIdx,
                static_cast<std::size_t>(FSendLength - FSendIdx));
            FSendIdx = FSendLength;
        }
        return ProcessResult.load();
    }

private:
    std::mutex FLock;
    std::deque<std::string> FChunks;
    std::string FSent;
};

// A listener thread that records what its connection dispatches.
class Listener : public TThread {
public:
    explicit Listener(bool Acknowledge = true) : TThread(true), FAck(Acknowledge)
    {
        Start();
        ServeUntil([this] { return FReady.load(); });
    }
    ~Listener() override
    {
        TerminateAndWait();
        LetGo();
    }
    // Messages a listener that does not acknowledge still holds.
    std::vector<PInnerMessage> Held()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FHeld;
    }
    // Finishes every held message (from the calling thread).
    void LetGo()
    {
        std::vector<PInnerMessage> held;
        {
            std::lock_guard<std::mutex> g(FLock);
            held.swap(FHeld);
        }
        for (PInnerMessage m : held)
            InnerMessageDone(m);
    }
    std::vector<TConnStatus> Statuses()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FStatuses;
    }
    std::string Data()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FData;
    }
    std::vector<std::uint32_t> PIDs()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FPIDs;
    }
    int Received()
    {
        std::lock_guard<std::mutex> g(FLock);
        return FReceived;
    }
    // Waits until the last status recorded is Last (and there are at least Count).
    bool WaitForLast(TConnStatus Last, std::size_t Count = 1)
    {
        return ServeUntil([&] {
            auto s = Statuses();
            return s.size() >= Count && s.back() == Last;
        });
    }

protected:
    void Execute() override
    {
        TMsg m;
        PeekMessage(m, 0, 0, 0, PM_NOREMOVE);
        FReady = true;
        while (!Terminated()) {
            WaitMessage(100, WM_CONN_STATUS, WM_CONN_DATA);
            while (PeekMessage(m, 0, WM_CONN_STATUS, WM_CONN_DATA, PM_REMOVE)) {
                auto* msg = reinterpret_cast<PInnerMessage>(m.lParam);
                {
                    std::lock_guard<std::mutex> g(FLock);
                    ++FReceived;
                    FPIDs.push_back(msg->PID);
                    if (m.message == WM_CONN_STATUS)
                        FStatuses.push_back(InnerStatus(msg));
                    else
                        FData.append(static_cast<const char*>(msg->Data), static_cast<std::size_t>(msg->DataSize));
                }
                if (FAck) {
                    InnerMessageDone(msg);
                } else {
                    std::lock_guard<std::mutex> g(FLock);
                    FHeld.push_back(msg);
                }
            }
        }
    }

private:
    bool FAck;
    std::atomic<bool> FReady {false};
    std::mutex FLock;
    std::vector<TConnStatus> FStatuses;
    std::string FData;
    std::vector<std::uint32_t> FPIDs;
    std::vector<PInnerMessage> FHeld;
    int FReceived = 0;
};

using Seq = std::vector<TConnStatus>;

std::string Words(const Seq& S)
{
    std::string r;
    for (TConnStatus s : S)
        r += std::string(r.empty() ? "" : ", ") + ConnStatusText(s);
    return r;
}

TEST(ConnStatus, DisplayWords)
{
    const char* expected[]
        = {"Unknown", "Strobe", "Idle", "Buffer Overrun", "Clear Buffer", "Connecting", "Resolving", "Connected",
            "Already Connected", "Disconnecting", "Disconnected", "Not Connected", "Socket Error", "Connection Timeout",
            "Connection Refused", "Disconnected from Device", "Unable to Connect", "Invalid Connection Params"};
    for (int i = 0; i < ConnStatusCount; ++i)
        EXPECT_STREQ(ConnStatusStr[i], expected[i]) << i;
    EXPECT_EQ(stInvalidConnectionParams, 17);
}

struct FailedConnectCase {
    int Attempts;
    TConnStatus Result;
    int ExpectedCalls;
    Seq Expected;
};

TEST(CustomConnection, ConnectAttemptsEndInTheFailureSequence)
{
    TThread::SetMainThread();
    const Seq tail = {stNotConnected, stDisconnecting, stDisconnected};
    auto with = [&](Seq head) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const Seq sixAttempts(7, stConnecting); // one from Connect, six attempts
    Seq timeout = sixAttempts;
    timeout.insert(timeout.end(), {stUnableToConnect, stConnectTimeout});
    const FailedConnectCase cases[] = {
        {5, stConnecting, 6, with(timeout)},
        {0, stConnecting, 1, with({stConnecting, stConnecting, stUnableToConnect, stConnectTimeout})},
        {5, stConnectionRefused, 1, with({stConnecting, stConnecting, stUnableToConnect, stConnectionRefused})},
    };
    for (const auto& c : cases) {
        Listener l;
        TestConn conn;
        conn.SetConnectAttempts(c.Attempts);
        conn.ConnectResult = c.Result;
        conn.AddThreadListener(l.ThreadID());
        EXPECT_TRUE(conn.Connect());
        ASSERT_TRUE(l.WaitForLast(stDisconnected)) << Words(l.Statuses());
        EXPECT_EQ(Words(l.Statuses()), Words(c.Expected));
        EXPECT_EQ(conn.ConnectCalls.load(), c.ExpectedCalls);
        EXPECT_EQ(conn.DisconnectCalls.load(), 1);
        EXPECT_EQ(conn.Connected(), stDisconnected);
    }
}

TEST(CustomConnection, ConnectAndDisconnectSequences)
{
    TThread::SetMainThread();
    Listener l;
    TestConn conn;
    conn.AddThreadListener(l.ThreadID());
    EXPECT_TRUE(conn.Connect());
    ASSERT_TRUE(l.WaitForLast(stConnected));
    EXPECT_EQ(Words(l.Statuses()), Words({stConnecting, stConnecting, stConnected}));
    EXPECT_EQ(conn.Connected(), stConnected);

    EXPECT_FALSE(conn.Connect()); // while connected
    conn.Disconnect(stDisconnecting);
    ASSERT_TRUE(l.WaitForLast(stDisconnected));
    EXPECT_EQ(Words(l.Statuses()),
        Words({stConnecting, stConnecting, stConnected, stAlreadyConnected, stDisconnecting, stDisconnecting,
            stDisconnected}));
    EXPECT_EQ(conn.Connected(), stDisconnected);

    // Disconnect while not connected still runs the disconnect pass.
    conn.Disconnect(stDisconnecting);
    ASSERT_TRUE(l.WaitForLast(stDisconnected, 11));
    const auto all = l.Statuses();
    EXPECT_EQ(Words(Seq(all.begin() + 7, all.end())),
        Words({stDisconnecting, stNotConnected, stDisconnecting, stDisconnected}));

    // Status and data messages share one rising sequence number.
    const auto pids = l.PIDs();
    for (std::size_t i = 1; i < pids.size(); ++i)
        EXPECT_EQ(pids[i], pids[i - 1] + 1);
}

TEST(CustomConnection, DisconnectCancelsAPendingConnect)
{
    TThread::SetMainThread();
    Listener l;
    TestConn conn;
    conn.ConnectResult = stConnecting;
    conn.SetReconnectTimeout(50);
    conn.AddThreadListener(l.ThreadID());
    ASSERT_TRUE(conn.Connect());
    ASSERT_TRUE(ServeUntil([&] { return conn.ConnectCalls.load() == 1; }));
    EXPECT_FALSE(conn.Connect()); // a connect is pending
    conn.Disconnect(stDisconnecting);
    ASSERT_TRUE(l.WaitForLast(stDisconnected));
    EXPECT_EQ(Words(l.Statuses()),
        Words({stConnecting, stConnecting, stAlreadyConnected, stDisconnecting, stNotConnected, stDisconnecting,
            stDisconnected}));
    // Several reconnect periods later no further attempt has been made.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(conn.ConnectCalls.load(), 1);
    EXPECT_EQ(conn.Connected(), stDisconnected);
}

TEST(CustomConnection, LinkFailuresRunTheDisconnectSequence)
{
    TThread::SetMainThread();
    struct Case {
        bool FailRead;
        TConnStatus Failure;
    };
    for (const Case c : {Case {true, stDisconnectedFromDevice}, Case {false, stSocketError}}) {
        Listener l;
        TestConn conn;
        conn.AddThreadListener(l.ThreadID());
        conn.Connect();
        ASSERT_TRUE(l.WaitForLast(stConnected));
        if (c.FailRead)
            conn.ReadResult = c.Failure;
        else
            conn.ProcessResult = c.Failure;
        ASSERT_TRUE(l.WaitForLast(stDisconnected));
        EXPECT_EQ(Words(l.Statuses()),
            Words({stConnecting, stConnecting, stConnected, c.Failure, stDisconnecting, stDisconnected}));
        EXPECT_EQ(conn.DisconnectCalls.load(), 1);
    }
}

TEST(CustomConnection, SilentLineTimesOutOnlyWhenEnabledAndEveryBlockRestartsTheClock)
{
    TThread::SetMainThread();
    const Seq connected = {stConnecting, stConnecting, stConnected};
    struct Case {
        bool Enabled;
        int TimeoutMs;
        int FeedForMs; // a block every 20 ms for this long, then silence
    };
    for (const Case c : {Case {false, 30, 0}, Case {true, 30, 0}, Case {true, 400, 1200}}) {
        Listener l;
        TestConn conn;
        conn.SetNoDataTimeout(c.TimeoutMs);
        conn.SetDisconnectInactive(c.Enabled);
        conn.AddThreadListener(l.ThreadID());
        conn.Connect();
        ASSERT_TRUE(l.WaitForLast(stConnected));
        for (int fed = 0; fed < c.FeedForMs; fed += 20) {
            conn.Feed("x");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        // Data kept coming for three time-outs: the clock restarted with each block.
        EXPECT_EQ(Words(l.Statuses()), Words(connected)) << c.FeedForMs;
        if (!c.Enabled) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10 * c.TimeoutMs));
            EXPECT_EQ(Words(l.Statuses()), Words(connected));
            EXPECT_EQ(conn.Connected(), stConnected);
            continue;
        }
        ASSERT_TRUE(l.WaitForLast(stDisconnected));
        EXPECT_EQ(Words(l.Statuses()),
            Words({stConnecting, stConnecting, stConnected, stSocketError, stDisconnecting, stDisconnected}));
    }
}

TEST(CustomConnection, TheDisconnectPhaseSendsWhatIsStillQueued)
{
    TThread::SetMainThread();
    Listener l;
    TestConn conn;
    conn.SetBufferedSend(true);
    conn.AddThreadListener(l.ThreadID());
    conn.Connect();
    ASSERT_TRUE(l.WaitForLast(stConnected));
    // The connection thread is held inside a read, past its transmit step: the
    // bytes queued now can only leave in the disconnect phase.
    conn.HoldRead = true;
    ASSERT_TRUE(ServeUntil([&] { return conn.InHeldRead.load(); }));
    ASSERT_TRUE(conn.DoWrite("PS=LAST\r\n", 9));
    conn.Disconnect(stDisconnecting);
    EXPECT_EQ(conn.Sent(), "");
    conn.HoldRead = false;
    ASSERT_TRUE(l.WaitForLast(stDisconnected));
    EXPECT_EQ(conn.Sent(), "PS=LAST\r\n");
    EXPECT_EQ(Words(l.Statuses()),
        Words({stConnecting, stConnecting, stConnected, stDisconnecting, stDisconnecting, stDisconnected}));
}

TEST(CustomConnection, ReceivedBytesReachTheListenerOnceAndInOrder)
{
    TThread::SetMainThread();
    // Chunkings: single bytes, a framed reply split awkwardly, and many mixed blocks.
    std::vector<std::vector<std::string>> chunkings = {
        {"a", "b", "c"},
        {"\r\nO", "K\r", "\n", "\r\nNO\r\n"},
    };
    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i)
        many.push_back(std::string(static_cast<std::size_t>(1 + i % 97), static_cast<char>('A' + i % 26)));
    chunkings.push_back(many);

    for (const auto& chunks : chunkings) {
        Listener l;
        TestConn conn;
        conn.SetReconnectTimeout(1);
        conn.AddThreadListener(l.ThreadID());
        conn.Connect();
        ASSERT_TRUE(l.WaitForLast(stConnected));
        std::string expected;
        for (const auto& c : chunks) {
            conn.Feed(c);
            expected += c;
        }
        ASSERT_TRUE(ServeUntil([&] { return l.Data().size() >= expected.size(); }));
        EXPECT_EQ(l.Data(), expected);
        // Every message is released once its listener is done with it.
        EXPECT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));
    }
}

TEST(CustomConnection, ASoleListenerGetsEachMessageWithoutTheBufferThreadWaking)
{
    TThread::SetMainThread();
    Listener l;
    TestConn conn;
    conn.SetReconnectTimeout(1);
    conn.AddThreadListener(l.ThreadID());
    conn.Connect();
    ASSERT_TRUE(l.WaitForLast(stConnected));
    ASSERT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));
    const std::string buffer = "Buffer of Conn1_:4";
    const long before = ThreadSwitches(buffer);
    ASSERT_GE(before, 0);
    // One message at a time, each received before the next is read.
    constexpr int Messages = 100;
    std::string expected;
    for (int i = 0; i < Messages; ++i) {
        const std::string chunk(1, static_cast<char>('a' + i % 26));
        conn.Feed(chunk);
        expected += chunk;
        ASSERT_TRUE(ServeUntil([&] { return l.Data().size() == expected.size(); }));
    }
    // The buffer thread keeps them without a hop or a wake-up each: it looks at
    // them now and then, and lets them go.
    EXPECT_LT(ThreadSwitches(buffer) - before, Messages / 2);
    EXPECT_EQ(l.Data(), expected);
    const auto pids = l.PIDs();
    for (std::size_t i = 1; i < pids.size(); ++i)
        EXPECT_EQ(pids[i], pids[i - 1] + 1);
    EXPECT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));
}

TEST(CustomConnection, SilentConnectionDeliversNothingAndKeepsNothing)
{
    TThread::SetMainThread();
    Listener l;
    {
        TestConn conn(true);
        EXPECT_TRUE(conn.Silent());
        conn.AddThreadListener(l.ThreadID());
        conn.Connect();
        ASSERT_TRUE(ServeUntil([&] { return conn.Connected() == stConnected; }));
        for (int i = 0; i < 100; ++i)
            conn.Feed("data");
        ASSERT_TRUE(ServeUntil([&] { return conn.Pending() == 0; }));
        conn.Disconnect(stDisconnecting);
        // Connecting x2, Connected, 100 blocks, Disconnecting x2, Disconnected.
        ASSERT_TRUE(ServeUntil([&] { return conn.NextPID() == 1 + 3 + 100 + 3; }));
        EXPECT_TRUE(ServeUntil(
            [&] { return QueuedMessageCount(conn.Buffer()->ThreadID()) == 0 && conn.Buffer()->RetainedCount() == 0; }));
    } // the buffer thread has handled every message once the connection is gone
    EXPECT_EQ(QueuedMessageCount(l.ThreadID()), 0u);
    EXPECT_EQ(l.Received(), 0);
}

TEST(CustomConnection, MessagesWithoutListenersAreReleasedAndHeldOnesAreKept)
{
    TThread::SetMainThread();
    TestConn conn;
    conn.Connect();
    ASSERT_TRUE(ServeUntil([&] { return conn.Connected() == stConnected; }));
    conn.Feed("nobody listens");
    EXPECT_TRUE(ServeUntil([&] {
        return conn.Pending() == 0 && QueuedMessageCount(conn.Buffer()->ThreadID()) == 0
            && conn.Buffer()->RetainedCount() == 0;
    }));

    // A listener that never finishes keeps its messages retained.
    Listener holder(false);
    conn.AddThreadListener(holder.ThreadID());
    conn.Feed("held");
    ASSERT_TRUE(ServeUntil([&] { return holder.Data() == "held"; }));
    EXPECT_EQ(conn.Buffer()->RetainedCount(), 1u);
    // Clear empties the buffer without dispatching its marker.
    conn.ClearBuffer();
    ASSERT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));
    EXPECT_EQ(holder.Statuses().size(), 0u);
}

TEST(CustomConnection, AHeldMessageLivesUntilItsListenerLetsGoWhateverItsAge)
{
    TThread::SetMainThread();
    Listener holder(false);
    TestConn conn;
    conn.AddThreadListener(holder.ThreadID());
    conn.Connect();
    ASSERT_TRUE(holder.WaitForLast(stConnected));
    holder.LetGo();
    ASSERT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));

    conn.Feed("held");
    ASSERT_TRUE(ServeUntil([&] { return holder.Data() == "held"; }));
    PInnerMessage msg = holder.Held().at(0);
    // Far older than any age limit could be; another message makes the buffer look again.
    msg->Tick -= 3600L * 1000;
    msg->TimeStamp -= 1.0;
    conn.Feed("more");
    ASSERT_TRUE(ServeUntil([&] { return holder.Data() == "heldmore"; }));
    EXPECT_EQ(conn.Buffer()->RetainedCount(), 2u);
    EXPECT_EQ(std::string(static_cast<const char*>(msg->Data), 4), "held");

    // Letting go wakes the buffer, which releases both at once.
    holder.LetGo();
    EXPECT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));

    // A clear hands a held message over to its listener, who frees it when done.
    const std::size_t alive = InnerMessagesAlive();
    conn.Feed("kept");
    ASSERT_TRUE(ServeUntil([&] { return holder.Data() == "heldmorekept"; }));
    msg = holder.Held().at(0);
    msg->Tick -= 3600L * 1000;
    conn.ClearBuffer();
    ASSERT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));
    conn.Feed("next");
    ASSERT_TRUE(ServeUntil([&] { return holder.Data() == "heldmorekeptnext"; }));
    EXPECT_EQ(std::string(static_cast<const char*>(msg->Data), 4), "kept");
    EXPECT_EQ(InnerMessagesAlive(), alive + 2);
    holder.LetGo();
    EXPECT_TRUE(ServeUntil([&] { return InnerMessagesAlive() == alive; }));
}

TEST(CustomConnection, ABufferWaitingForAHeldMessageSleepsUntilItIsLetGo)
{
    TThread::SetMainThread();
    Listener holder(false);
    TestConn conn;
    conn.AddThreadListener(holder.ThreadID());
    conn.Connect();
    ASSERT_TRUE(holder.WaitForLast(stConnected));
    holder.LetGo();
    conn.Feed("held");
    ASSERT_TRUE(ServeUntil([&] { return holder.Data() == "held"; }));
    // Long after the last message: the buffer thread has stopped looking and
    // sleeps; it costs nothing while the listener holds on.
    ServeUntil([] { return false; }, 300);
    const std::string buffer = "Buffer of Conn1_:4";
    const long before = ThreadSwitches(buffer);
    ServeUntil([] { return false; }, 300);
    EXPECT_EQ(ThreadSwitches(buffer), before);
    EXPECT_EQ(conn.Buffer()->RetainedCount(), 1u);
    // Letting go wakes it, and it releases the message.
    holder.LetGo();
    EXPECT_TRUE(ServeUntil([&] { return conn.Buffer()->RetainedCount() == 0; }));
}

TEST(CustomConnection, ListenersToggle)
{
    TThread::SetMainThread();
    Listener a, b;
    TestConn conn;
    conn.AddThreadListener(a.ThreadID());
    conn.AddThreadListener(b.ThreadID());
    conn.AddThreadListener(a.ThreadID()); // second registration removes it
    conn.Disconnect(stDisconnecting);
    ASSERT_TRUE(b.WaitForLast(stDisconnected));
    EXPECT_EQ(a.Received(), 0);

    conn.AddThreadListener(a.ThreadID()); // a third registers it again
    conn.Disconnect(stDisconnecting);
    ASSERT_TRUE(a.WaitForLast(stDisconnected));
    EXPECT_EQ(Words(a.Statuses()), Words({stDisconnecting, stNotConnected, stDisconnecting, stDisconnected}));

    // Window listeners get the same messages through their own queue.
    const HWND w = CreateWindowQueue();
    conn.AddWindowListener(w);
    conn.Disconnect(stDisconnecting);
    std::vector<TConnStatus> seen;
    ASSERT_TRUE(ServeUntil([&] {
        TMsg m;
        while (PeekMessage(m, w, WM_CONN_STATUS, WM_CONN_DATA, PM_REMOVE)) {
            EXPECT_EQ(m.wParam, reinterpret_cast<WPARAM>(&conn));
            auto* msg = reinterpret_cast<PInnerMessage>(m.lParam);
            seen.push_back(InnerStatus(msg));
            InnerMessageDone(msg);
        }
        return !seen.empty() && seen.back() == stDisconnected;
    }));
    EXPECT_EQ(seen.size(), 4u);
    conn.AddWindowListener(w);
    DestroyWindowQueue(w);
}

TEST(CustomConnection, Properties)
{
    TThread::SetMainThread();
    TestConn conn;
    EXPECT_EQ(conn.PropCount(), 0);
    conn.SetProp("port", std::string("ttyUSB0"));
    PConnProp p = conn.GetPropS("PORT");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Name, "PORT");
    EXPECT_EQ(p->ValueType, pvtString);
    EXPECT_EQ(p->ValueSize, 2 * (7 + 1));
    EXPECT_EQ(PropAsString(p), "ttyUSB0");
    EXPECT_EQ(static_cast<const char16_t*>(p->ValueData)[7], u'\0');

    // Another type keeps the first type and replaces the value.
    conn.SetProp("Port", 1234);
    EXPECT_EQ(conn.PropCount(), 1);
    EXPECT_EQ(p->ValueType, pvtString);
    EXPECT_EQ(p->ValueSize, 4);
    std::int32_t v;
    std::memcpy(&v, p->ValueData, 4);
    EXPECT_EQ(v, 1234);

    conn.SetProp("speed", 9600);
    EXPECT_EQ(PropAsInteger(conn.GetPropS("SPEED")), 9600);
    conn.SetProp("name", std::string("Ä€"));
    EXPECT_EQ(conn.GetPropS("NAME")->ValueSize, 6);
    EXPECT_EQ(PropAsString(conn.GetPropS("name")), "Ä€");
    EXPECT_EQ(conn.PropCount(), 3);
    EXPECT_EQ(conn.GetProp(0), p);
    EXPECT_EQ(conn.GetProp(-1), nullptr);
    EXPECT_EQ(conn.GetProp(conn.PropCount()), nullptr);
    EXPECT_EQ(conn.GetPropS("absent"), nullptr);
}

TEST(CustomConnection, WritesAreRefusedUnlessConnectedAndBufferedSendGrowsInSteps)
{
    TThread::SetMainThread();
    TestConn conn;
    const std::string bytes(1000, 'x');
    EXPECT_FALSE(conn.DoWrite(bytes.data(), 5)); // not connected
    conn.SetBufferedSend(true);
    EXPECT_FALSE(conn.DoWrite(bytes.data(), 5));
    EXPECT_EQ(conn.SendMarks(), std::make_pair(0, 0));

    conn.Transmit = false;
    conn.Connect();
    ASSERT_TRUE(ServeUntil([&] { return conn.Connected() == stConnected; }));
    EXPECT_FALSE(conn.DoWrite(bytes.data(), 0));
    conn.PushCommand(nullptr, 5);
    conn.PushCommand(bytes.data(), 0);
    EXPECT_EQ(conn.SendMarks(), std::make_pair(0, 0));

    struct Step {
        int Size;
        std::size_t Capacity;
        int Length;
    };
    int total = 0;
    std::string expected;
    for (const Step s : {Step {1000, 1024, 1000}, Step {24, 1024, 1024}, Step {1, 2048, 1025}, Step {3000, 4096, 4025},
             Step {100, 5120, 4125}}) {
        const std::string chunk(static_cast<std::size_t>(s.Size), static_cast<char>('a' + total % 26));
        conn.PushCommand(chunk);
        expected += chunk;
        total += s.Size;
        EXPECT_EQ(conn.SendCapacity(), s.Capacity) << s.Size;
        EXPECT_EQ(conn.SendMarks().second, s.Length);
    }
    conn.Transmit = true;
    ASSERT_TRUE(ServeUntil([&] { return conn.Sent().size() == expected.size(); }));
    EXPECT_EQ(conn.Sent(), expected);
    // Once everything has gone, the next command starts at the front again; the array never shrinks.
    conn.PushCommand(std::string("PI?\r\n"));
    auto marks = conn.SendMarks();
    EXPECT_TRUE(marks == std::make_pair(0, 5) || marks == std::make_pair(5, 5));
    EXPECT_EQ(conn.SendCapacity(), 5120u); // never shrinks
    ASSERT_TRUE(ServeUntil([&] { return conn.Sent() == expected + "PI?\r\n"; }));

    // Unbuffered: accepted and left to the transport.
    conn.SetBufferedSend(false);
    EXPECT_TRUE(conn.DoWrite(bytes.data(), 3));
    const std::uint8_t raw[] = {1, 2, 3};
    conn.PushCommand(std::span<const std::uint8_t>(raw));
    EXPECT_EQ(conn.Sent(), expected + "PI?\r\n");
}

class NamedConn : public TestConn {
public:
    ~NamedConn() override { StopThreads(); }

protected:
    std::string GetName() const override { return "Conn1_TEST_"; }
    std::uint32_t GetVer() const override { return 0x104; }
};

TEST(CustomConnection, IdentityAndThreadNames)
{
    TThread::SetMainThread();
    TestConn base;
    EXPECT_EQ(base.Name(), "Conn1_");
    EXPECT_EQ(base.Ver(), 4u);
    EXPECT_EQ(base.Connected(), stDisconnected);
    EXPECT_EQ(base.ReconnectTimeout(), 10); // set by the test transport
    EXPECT_EQ(base.ConnectAttempts(), 5);
    EXPECT_EQ(base.NoDataTimeout(), 60000);
    EXPECT_FALSE(base.DisconnectInactive());
    EXPECT_FALSE(base.BufferedSend());
    NamedConn named;
    named.Connect();
    EXPECT_EQ(named.ThreadName(), "Conn1_TEST_:104");
    EXPECT_EQ(named.Buffer()->ThreadName(), "Buffer of Conn1_TEST_:104");
    named.TerminateAndWait();
}

} // namespace
