#pragma once
// Message queues of threads and windows.
//
// Every thread has a 32-bit id. A thread's queue exists from the first time the
// thread looks into it (PeekMessage, WaitMessage) until the thread ends; posting
// to a thread fails while its queue does not exist or while MaxQueuedMessages
// messages wait in it.
//
// A window here is nothing but a queue with a handle of its own: it exists from
// CreateWindowQueue to DestroyWindowQueue and is read by whichever thread owns
// the handle. Thread ids and window handles are taken from one number space, so
// a handle never equals an id.

#include <cstdint>

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using HWND = std::uint32_t;

struct TMsg {
    HWND hwnd = 0; // the window the message was posted to; 0 for a thread message
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
constexpr std::size_t MaxQueuedMessages = 10000;

// Id of the calling thread (assigned on first use; a TThread's id is fixed at creation).
std::uint32_t GetCurrentThreadId();

// A fresh id from the number space of thread ids and window handles.
std::uint32_t AllocateThreadId();

bool PostThreadMessage(std::uint32_t ThreadId, UINT Msg, WPARAM wParam, LPARAM lParam);

// Takes (PM_REMOVE) or looks at the first waiting message numbered MsgMin ... MsgMax
// (both 0: any number), without waiting. Wnd 0 reads the calling thread's queue and
// creates it on first use; any other value reads that window's queue.
bool PeekMessage(TMsg& Msg, HWND Wnd, UINT MsgMin, UINT MsgMax, UINT RemoveFlags);

// Waits up to TimeoutMs (negative: without limit) until a message numbered MsgMin ...
// MsgMax waits in the calling thread's queue, or until WakeThread is called for this
// thread. Creates the queue. Returns whether such a message waits.
bool WaitMessage(int TimeoutMs, UINT MsgMin = 0, UINT MsgMax = 0);

// Ends the current or next WaitMessage of that thread early, without a message.
void WakeThread(std::uint32_t ThreadId);

// Number of messages waiting in a thread's or window's queue (0 when it has none).
std::size_t QueuedMessageCount(std::uint32_t ThreadIdOrWnd);

HWND CreateWindowQueue();
void DestroyWindowQueue(HWND Wnd);
bool IsWindow(HWND Wnd);
bool PostMessage(HWND Wnd, UINT Msg, WPARAM wParam, LPARAM lParam);
// WaitMessage for a window's queue; false at once when the window does not exist.
bool WaitWindowMessage(HWND Wnd, int TimeoutMs, UINT MsgMin = 0, UINT MsgMax = 0);

namespace platform_detail {
// Gives the calling thread the id a TThread was created with.
void AdoptThreadId(std::uint32_t ThreadId);
} // namespace platform_detail
