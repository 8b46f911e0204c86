#include "_conn/inner_message.h"

#include <cstdlib>

namespace {
std::atomic<std::size_t> MessagesAlive {0};
} // namespace

PInnerMessage NewMessage()
{
    auto* msg = new TInnerMessage;
    ++MessagesAlive;
    return msg;
}

void FreeMessage(PInnerMessage Msg)
{
    if (Msg->MT == mtData && Msg->DataSize > 0 && Msg->Data)
        std::free(Msg->Data);
    delete Msg;
    --MessagesAlive;
}

bool DropHold(PInnerMessage Msg)
{
    if (Msg->Refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        FreeMessage(Msg);
        return true;
    }
    return false;
}

void InnerMessageDone(TInnerMessage* Msg)
{
    // Read before letting go: afterwards the message may be gone. The flag is
    // read after the count falls: the buffer thread sets it before it looks at
    // the count, so one of the two sees the other.
    const std::uint32_t buffer = Msg->BufferThread;
    const bool lastListener = Msg->Used.fetch_sub(1) == 1;
    const bool wake = lastListener && Msg->WakeBufferWhenDone.load();
    if (!DropHold(Msg) && wake)
        WakeThread(buffer); // the buffer thread can let go of it now
}

std::size_t InnerMessagesAlive()
{
    return MessagesAlive.load();
}
