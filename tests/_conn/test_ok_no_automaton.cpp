#include "_conn/ok_no_automaton.h"

#include "platform/assertion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Records every OnPacket call as the list of packets it announced.
struct Recorder {
    std::vector<std::vector<std::string>> Calls;
    void Packet(TCustomAutomata* A)
    {
        std::vector<std::string> Call;
        for (int i = 0; i < A->PacketCount(); ++i) {
            PPack P = A->GetPacket(i);
            Call.emplace_back(static_cast<const char*>(P->Data), static_cast<std::size_t>(P->DataSize));
        }
        EXPECT_EQ(A->GetPacket(-1), nullptr);
        EXPECT_EQ(A->GetPacket(A->PacketCount()), nullptr);
        Calls.push_back(Call);
    }
};

struct Case {
    const char* Name;
    std::vector<std::string> Blocks;
    std::vector<std::vector<std::string>> Calls;
};

} // namespace

TEST(OkNoAutomaton, FramesRepliesAcrossBlocks)
{
    const std::vector<Case> Cases = {
        {"two replies in one block", {"1\r\nOK\r\n2\r\nNO\r\n"}, {{"1\r\nOK\r\n", "2\r\nNO\r\n"}}},
        {"terminator split", {"AB\r\nO", "K\r\n"}, {{"AB\r\nOK\r\n"}}},
        {"OK without leading CR LF", {"OK\r\n", "x\r\nOK\r\n"}, {{"OK\r\nx\r\nOK\r\n"}}},
        {"terminator inside text", {"a\r\nNO\r\nb\r\nOK\r\n"}, {{"a\r\nNO\r\n", "b\r\nOK\r\n"}}},
        {"bare terminator", {"\r\nOK\r\n"}, {{"\r\nOK\r\n"}}},
        {"empty block", {"", "z"}, {}},
        {"clear mid-reply", {"half", "<CLEAR>", "rest\r\nOK\r\n"}, {{"rest\r\nOK\r\n"}}},
        {"no terminator", {"1234\r\nOK\r"}, {}},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Name);
        TOKNO A;
        Recorder R;
        A.SetOnPacket(TAutomataNotifyEvent(&R, &Recorder::Packet));
        for (const std::string& B : C.Blocks) {
            if (B == "<CLEAR>")
                A.Clear();
            else
                A.OnData(B.data(), static_cast<std::int32_t>(B.size()));
        }
        EXPECT_EQ(R.Calls, C.Calls);
    }
}

TEST(OkNoAutomaton, WorkedExampleInThreeBlocks)
{
    TOKNO A;
    EXPECT_EQ(A.Name(), "PA__OKNO");
    EXPECT_EQ(A.Ver(), 262u);
    Recorder R;
    A.SetOnPacket(TAutomataNotifyEvent(&R, &Recorder::Packet));

    void* Cmd = nullptr;
    std::int32_t Size = 0;
    A.FormatCommand(std::string("PI?"), Cmd, Size);
    EXPECT_EQ(std::string(static_cast<char*>(Cmd), static_cast<std::size_t>(Size)), "PI?\r\n");
    std::free(Cmd);
    A.FormatCommand(std::string(), Cmd, Size);
    EXPECT_EQ(std::string(static_cast<char*>(Cmd), static_cast<std::size_t>(Size)), "\r\n");
    std::free(Cmd);

    const unsigned char B1[] = {0x31, 0x32};
    const unsigned char B2[] = {0x33, 0x34, 0x0D, 0x0A, 0x4F, 0x4B};
    const unsigned char B3[] = {0x0D, 0x0A};
    A.OnData(B1, 2);
    EXPECT_EQ(A.DataPos(), 2);
    A.OnData(B2, 6);
    EXPECT_EQ(A.DataPos(), 8);
    EXPECT_TRUE(R.Calls.empty());
    A.OnData(B3, 2);
    EXPECT_EQ(A.DataPos(), 0);
    ASSERT_EQ(R.Calls.size(), 1u);
    EXPECT_EQ(R.Calls[0], std::vector<std::string> {"1234\r\nOK\r\n"});
    EXPECT_EQ(A.PacketCount(), 0); // released once the handler returned
}

TEST(OkNoAutomaton, NilBlockDoesNotFlushAndHandlerKeptByCode)
{
    TOKNO A;
    Recorder R1, R2;
    A.SetOnPacket(TAutomataNotifyEvent(&R1, &Recorder::Packet));
    // Same code, other object: nothing changes.
    A.SetOnPacket(TAutomataNotifyEvent(&R2, &Recorder::Packet));
    EXPECT_EQ(A.OnPacket().Object(), &R1);
    A.OnData(nullptr, 5);
    EXPECT_TRUE(R1.Calls.empty());
}

TEST(OkNoAutomaton, BabblingLineIsCappedAndTailStillMatched)
{
    TOKNO A;
    Recorder R;
    A.SetOnPacket(TAutomataNotifyEvent(&R, &Recorder::Packet));
    const std::string Junk(std::size_t {300} * 1024, 'x');
    for (int i = 0; i < 12; ++i) // 3.6 MB without a terminator
        A.OnData(Junk.data(), static_cast<std::int32_t>(Junk.size()));
    EXPECT_LE(A.DataPos(), TOKNO::MaxCollected);
    const std::string End = "\r\nOK\r\n";
    A.OnData(End.data(), 6);
    ASSERT_EQ(R.Calls.size(), 1u);
    ASSERT_EQ(R.Calls[0].size(), 1u);
    EXPECT_LE(R.Calls[0][0].size(), static_cast<std::size_t>(TOKNO::MaxCollected));
    EXPECT_EQ(R.Calls[0][0].substr(R.Calls[0][0].size() - 8), "xx\r\nOK\r\n");
}

TEST(OkNoAutomaton, AThrowingHandlerDoesNotSeeThePacketAgain)
{
    struct Thrower : Recorder {
        bool Throw = true;
        void Packet(TCustomAutomata* A)
        {
            Recorder::Packet(A);
            if (Throw) {
                Throw = false;
                throw std::runtime_error("handler failed");
            }
        }
    } R;
    TOKNO A;
    A.SetOnPacket(TAutomataNotifyEvent(&R, &Thrower::Packet));
    const std::string First = "1\r\nOK\r\n", Second = "2\r\nNO\r\n";
    EXPECT_THROW(A.OnData(First.data(), static_cast<std::int32_t>(First.size())), std::runtime_error);
    EXPECT_EQ(A.PacketCount(), 0);
    A.OnData(Second.data(), static_cast<std::int32_t>(Second.size()));
    EXPECT_EQ(R.Calls, (std::vector<std::vector<std::string>> {{First}, {Second}}));
}
