#pragma once
// The message a connection hands its listeners: received bytes or a status,
// kept alive by reference counts (see custom_connection.h for the protocol).

#include "_conn/status_words.h"
#include "platform/date_time.h"
#include "platform/message_queue.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

enum TMessageType : std::uint8_t { mtData = 0, mtStatus = 1 };

struct TInnerMessage {
    TMessageType MT = mtData;
    std::int32_t DataSize = 0;          // bytes at Data for mtData; 0 for mtStatus
    void* Data = nullptr;               // mtData: malloc'd block owned by the message; mtStatus: the status value
    std::uint32_t PID = 0;              // sequence number; 0 for the clear marker
    TDateTime TimeStamp = 0;            // local time of creation
    std::atomic<std::int32_t> Used {0}; // listeners handed the message and not yet done with it
    std::int64_t Tick = 0;              // TickMs() at creation
    // Holders: the buffer thread while it retains the message, plus each listener
    // in Used. The one that brings it to 0 frees the message.
    std::atomic<std::int32_t> Refs {0};
    std::uint32_t BufferThread = 0; // the buffer thread that retains it
    // Set by the buffer thread when it goes to sleep while the message is
    // still held: the last listener to finish then wakes it. Otherwise the
    // buffer thread looks again on its own, and nobody wakes it per message.
    std::atomic<bool> WakeBufferWhenDone {false};
};
using PInnerMessage = TInnerMessage*;

// The status a mtStatus message carries (its low byte).
inline TConnStatus InnerStatus(const TInnerMessage* Msg)
{
    return static_cast<TConnStatus>(reinterpret_cast<std::uintptr_t>(Msg->Data) & 0xFF);
}

// A listener calls this once it has finished with a dispatched message; the
// message may be freed before the call returns.
void InnerMessageDone(TInnerMessage* Msg);

// Messages allocated and not freed yet, in the whole process (for tests).
std::size_t InnerMessagesAlive();

constexpr UINT WM_CONN_INNER = 4109;  // connection -> its buffer thread (wParam 0 data, 1 status)
constexpr UINT WM_CONN_STATUS = 4110; // buffer thread -> listeners (wParam the connection)
constexpr UINT WM_CONN_DATA = 4111;   // buffer thread -> listeners (wParam the connection)

// A new message with no holders; counted in InnerMessagesAlive.
PInnerMessage NewMessage();
// Frees the message and its data block.
void FreeMessage(PInnerMessage Msg);
// Lets go of one hold; the last holder frees the message. Answers whether it did.
bool DropHold(PInnerMessage Msg);
