#include "_conn/comm_port_driver.h"

#include "platform/log.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "_conn/termios2_shim.h"
#include "platform/date_time.h"

namespace {

constexpr std::uint32_t kBaudValues[]
    = {0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

struct RateCode {
    std::uint32_t Rate;
    speed_t Code;
};

constexpr RateCode kRateCodes[] = {
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
};

bool RateToCode(std::uint32_t Rate, speed_t& Code)
{
    for (const auto& rc : kRateCodes)
        if (rc.Rate == Rate) {
            Code = rc.Code;
            return true;
        }
    return false;
}

// Bits per second the line runs at now; 0 when unknown.
std::uint32_t CurrentRate(int Fd)
{
#ifdef KVX_HAVE_TERMIOS2
    KernelTermios2 t2 {};
    if (ioctl(Fd, kTCGETS2, &t2) == 0)
        return t2.c_ospeed;
#endif
    termios t {};
    if (tcgetattr(Fd, &t) != 0)
        return 0;
    const speed_t code = cfgetospeed(&t);
    for (const auto& rc : kRateCodes)
        if (rc.Code == code)
            return rc.Rate;
    return 0;
}

bool IsLossError(int Err)
{
    return Err == EIO || Err == ENXIO || Err == ENODEV || Err == EBADF || Err == EPIPE;
}

constexpr short kLossEvents = POLLHUP | POLLERR | POLLNVAL;

} // namespace

std::uint32_t BaudValue(TBaudRate Rate)
{
    return Rate <= br256000 ? kBaudValues[Rate] : 0;
}

// ---------------------------------------------------------------------------
// TCommPortDriver: construction, names and settings

TCommPortDriver::TCommPortDriver() : FPortName(PortNumberPath(pnCOM2)), FTempInBuffer(FInBufSize, 0)
{
}

TCommPortDriver::~TCommPortDriver()
{
    Disconnect();
    EndTimer();
}

std::string TCommPortDriver::PortNumberPath(TPortNumber Value)
{
    if (Value == pnCustom)
        return {};
    return "/dev/ttyS" + std::to_string(static_cast<int>(Value) - 1);
}

void TCommPortDriver::SetPort(TPortNumber Value)
{
    if (Connected())
        return;
    FPort = Value;
    if (Value != pnCustom) {
        std::lock_guard lock(FNameLock);
        FPortName = PortNumberPath(Value);
    }
}

std::string TCommPortDriver::PortName() const
{
    std::lock_guard lock(FNameLock);
    return FPortName;
}

void TCommPortDriver::SetPortName(const std::string& Value)
{
    if (Connected())
        return;
    FPort = pnCustom;
    std::lock_guard lock(FNameLock);
    FPortName = Value;
}

void TCommPortDriver::ReapplyIfOpen()
{
    if (Connected())
        ApplySettings();
}

void TCommPortDriver::SetBaudRate(TBaudRate Value)
{
    FBaudRate = Value;
    if (Value != brCustom)
        FBaudRateValue = BaudValue(Value);
    ReapplyIfOpen();
}

void TCommPortDriver::SetBaudRateValue(std::uint32_t Value)
{
    FBaudRateValue = Value;
    FBaudRate = brCustom;
    ReapplyIfOpen();
}

void TCommPortDriver::SetDataBits(TDataBits Value)
{
    FDataBits = Value;
    ReapplyIfOpen();
}

void TCommPortDriver::SetStopBits(TStopBits Value)
{
    FStopBits = Value;
    ReapplyIfOpen();
}

void TCommPortDriver::SetParity(TParity Value)
{
    FParity = Value;
    ReapplyIfOpen();
}

void TCommPortDriver::SetHwFlow(THwFlowControl Value)
{
    FHwFlow = Value;
    ReapplyIfOpen();
}

void TCommPortDriver::SetSwFlow(TSwFlowControl Value)
{
    FSwFlow = Value;
    ReapplyIfOpen();
}

void TCommPortDriver::SetInBufSize(std::uint32_t Value)
{
    if (Connected())
        return;
    Value = std::clamp(Value, MinBufSize, MaxBufSize);
    {
        std::lock_guard lock(FRxLock);
        FTempInBuffer.assign(Value, 0);
        FInBufSize = Value;
    }
    SetPacketSize(FPacketSize);
}

void TCommPortDriver::SetOutBufSize(std::uint32_t Value)
{
    if (Connected())
        return;
    FOutBufSize = std::clamp(Value, MinBufSize, MaxBufSize);
}

void TCommPortDriver::SetPacketSize(std::int16_t Value)
{
    std::lock_guard lock(FRxLock);
    if (Value <= 0) {
        FPacketSize = -1;
        return;
    }
    // A packet must fit the receive block: never above the largest block, and
    // while open (when the block cannot grow) never above the current one.
    if (static_cast<std::uint32_t>(Value) > MaxBufSize)
        Value = static_cast<std::int16_t>(MaxBufSize);
    if (static_cast<std::uint32_t>(Value) > FInBufSize) {
        if (Connected()) {
            Value = static_cast<std::int16_t>(FInBufSize);
        } else {
            FPacketSize = Value;
            SetInBufSize(static_cast<std::uint32_t>(Value));
            return;
        }
    }
    FPacketSize = Value;
}

void TCommPortDriver::SetPacketMode(TPacketMode Value)
{
    std::lock_guard lock(FRxLock);
    FPacketMode = Value;
}

void TCommPortDriver::SetPacketTimeout(std::int32_t Value)
{
    std::lock_guard lock(FRxLock);
    const std::int32_t delay = FPollingDelay.load();
    if (Value <= 0)
        Value = -1;
    else if (Value < delay)
        Value = delay + delay * 40 / 100;
    FPacketTimeout = Value;
}

void TCommPortDriver::SetPollingDelay(std::uint16_t Value)
{
    if (Value < MinPollingDelay)
        Value = MinPollingDelay;
    if (Value == FPollingDelay.load())
        return;
    FPollingDelay = Value;
    if (Connected()) {
        std::lock_guard lock(FTimerLock);
        FTimerRestart = true;
        FTimerCV.notify_all();
    }
    SetPacketTimeout(FPacketTimeout);
}

void TCommPortDriver::PausePolling()
{
    ++FRXPollingPauses;
}

void TCommPortDriver::ContinuePolling()
{
    if (--FRXPollingPauses <= 0) {
        std::lock_guard lock(FTimerLock);
        FTimerCV.notify_all();
    }
}

TReceiveDataEvent TCommPortDriver::OnReceiveData() const
{
    std::lock_guard lock(FRxLock);
    return FOnReceiveData;
}

void TCommPortDriver::SetOnReceiveData(TReceiveDataEvent Value)
{
    std::lock_guard lock(FRxLock);
    FOnReceiveData = Value;
}

TReceivePacketEvent TCommPortDriver::OnReceivePacket() const
{
    std::lock_guard lock(FRxLock);
    return FOnReceivePacket;
}

void TCommPortDriver::SetOnReceivePacket(TReceivePacketEvent Value)
{
    std::lock_guard lock(FRxLock);
    FOnReceivePacket = Value;
}

// ---------------------------------------------------------------------------
// Open, configure, close

bool TCommPortDriver::Connect(TFileDescriptor Opened)
{
    if (Connected())
        return true;
    TFileDescriptor fd = Opened.Valid() ? std::move(Opened) : OpenPortExclusive(PortName());
    if (!fd.Valid())
        return false;
    // Exclusive mode also fails on anything that is not a terminal.
    if (::ioctl(fd.Get(), TIOCEXCL) != 0)
        return false;
    FKeptRate = CurrentRate(fd.Get());
    FPortLost = false;
    FHandle = fd.Get();
    if (!ApplySettings()) {
        FHandle = INVALID_PORT_HANDLE;
        // A pseudo-terminal keeps the exclusive flag after the close.
        ::ioctl(fd.Get(), TIOCNXCL);
        return false;
    }
    fd.Release();
    {
        std::lock_guard lock(FRxLock);
        FFirstByteOfPacketTime = 0;
    }
    StartTimer();
    return true;
}

bool TCommPortDriver::ApplySettings()
{
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE)
        return false;
    termios t {};
    if (::tcgetattr(fd, &t) != 0)
        return false;

    // Raw mode: every byte passes unchanged in both directions.
    t.c_iflag &= ~static_cast<tcflag_t>(
        IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CLOCAL | CREAD;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[FDataBits <= db8BITS ? FDataBits : db8BITS];
    switch (FParity) {
    case ptODD:
        t.c_cflag |= PARENB | PARODD;
        break;
    case ptEVEN:
        t.c_cflag |= PARENB;
        break;
    case ptMARK:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case ptSPACE:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // The line has no one-and-a-half stop bits of its own; the UART sends 1.5
    // for five-bit characters when two are asked for.
    if (FStopBits != sb1BITS)
        t.c_cflag |= CSTOPB;
    if (FHwFlow == hfRTSCTS)
        t.c_cflag |= CRTSCTS;
    if (FSwFlow == sfXONXOFF) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    // A rate of 0 would hang the line up: the line keeps the rate it has.
    const std::uint32_t rate = FBaudRateValue;
    bool customRate = false;
    if (rate != 0) {
        speed_t code {};
        if (RateToCode(rate, code)) {
            ::cfsetispeed(&t, code);
            ::cfsetospeed(&t, code);
        } else {
            customRate = true;
        }
    }
    if (::tcsetattr(fd, TCSANOW, &t) != 0)
        return false;
    if (customRate) {
#ifdef KVX_HAVE_TERMIOS2
        KernelTermios2 t2 {};
        if (::ioctl(fd, kTCGETS2, &t2) != 0)
            return false;
        t2.c_cflag = (t2.c_cflag & ~kCBAUD) | kBOTHER;
        t2.c_ispeed = rate;
        t2.c_ospeed = rate;
        if (::ioctl(fd, kTCSETS2, &t2) != 0)
            return false;
#else
        return false;
#endif
    }
    FKeptRate = CurrentRate(fd);

    // Modem lines; a line without them (a pseudo-terminal) refuses, which is fine.
    int dtr = TIOCM_DTR;
    ::ioctl(fd, FEnableDTROnOpen ? TIOCMBIS : TIOCMBIC, &dtr);
    int rts = TIOCM_RTS;
    if (FHwFlow == hfNONERTSON || FHwFlow == hfRTSCTS)
        ::ioctl(fd, TIOCMBIS, &rts);
    else
        ::ioctl(fd, TIOCMBIC, &rts);

    // The kernel sizes its own queues; nothing to set for InBufSize/OutBufSize.
    return FlushBuffers(true, true);
}

void TCommPortDriver::DrainOutput()
{
    // Give queued output up to OutputTimeout to leave, then drop the rest so that
    // the close cannot hang on a line that no longer drains.
    const int fd = FHandle.load();
    const std::int64_t start = TickMs();
    while (!FPortLost.load()) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0)
            break;
        if (MsSince(start) > FOutputTimeout)
            break;
        ::usleep(2000);
    }
    ::tcflush(fd, TCOFLUSH);
}

void TCommPortDriver::Disconnect()
{
    if (!Connected())
        return;
    StopTimer();
    std::lock_guard rx(FRxLock);
    std::lock_guard tx(FTxLock);
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE)
        return;
    DrainOutput();
    ::ioctl(fd, TIOCNXCL);
    FHandle = INVALID_PORT_HANDLE;
    ::close(fd);
}

void TCommPortDriver::SetHandle(TPortHandle Value)
{
    if (Value == FHandle.load())
        return;
    if (Value == DETACH_PORT_HANDLE) {
        if (Connected()) {
            StopTimer();
            std::lock_guard rx(FRxLock);
            std::lock_guard tx(FTxLock);
            FHandle = INVALID_PORT_HANDLE;
        }
        return;
    }
    Disconnect();
    if (Value != INVALID_PORT_HANDLE) {
        FPortLost = false;
        FHandle = Value;
        FKeptRate = CurrentRate(Value);
        StartTimer();
    }
}

// ---------------------------------------------------------------------------
// Data

void TCommPortDriver::MarkLostIf(int Err)
{
    if (IsLossError(Err))
        FPortLost = true;
}

std::int32_t TCommPortDriver::CountRX()
{
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE)
        return 65535;
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0) {
        MarkLostIf(errno);
        return 0;
    }
    return n;
}

std::uint16_t TCommPortDriver::OutFreeSpace()
{
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE)
        return 65535;
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0) {
        const int err = errno;
        MarkLostIf(err);
        if (IsLossError(err))
            return 0;
        queued = 0; // not a terminal: nothing of ours is queued
    }
    // A queue fuller than OutBufSize leaves no room (rather than wrapping round).
    if (queued < 0 || static_cast<std::uint32_t>(queued) >= FOutBufSize)
        return 0;
    return static_cast<std::uint16_t>(FOutBufSize - static_cast<std::uint32_t>(queued));
}

// Reads up to Size bytes that FIONREAD reported. Answers the count, 0 when the
// read would block, -1 when the port went away (a hung-up terminal reads 0 bytes
// even though bytes were reported).
long TCommPortDriver::ReadSome(std::uint8_t* Data, std::uint32_t Size)
{
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE || Size == 0)
        return 0;
    for (;;) {
        const ssize_t r = ::read(fd, Data, Size);
        if (r > 0)
            return static_cast<long>(r);
        if (r == 0) {
            FPortLost = true;
            return -1;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        FPortLost = true;
        return -1;
    }
}

std::uint32_t TCommPortDriver::ReadData(std::uint8_t* DataPtr, std::uint32_t MaxDataSize)
{
    if (!Connected() || !DataPtr)
        return 0;
    PausePolling();
    std::uint32_t got = 0;
    {
        std::lock_guard rx(FRxLock);
        std::int64_t start = TickMs();
        while (got < MaxDataSize && !FPortLost.load()) {
            const std::int32_t waiting = CountRX();
            if (!Connected() || FPortLost.load())
                break;
            if (waiting > 0) {
                const auto want = std::min(MaxDataSize - got, static_cast<std::uint32_t>(waiting));
                const long r = ReadSome(DataPtr + got, want);
                if (r < 0)
                    break;
                got += static_cast<std::uint32_t>(r);
                if (r > 0)
                    start = TickMs();
                continue;
            }
            const std::int64_t elapsed = MsSince(start);
            if (elapsed > static_cast<std::int64_t>(FInputTimeout))
                break;
            if (WaitForInput(static_cast<int>(FInputTimeout - elapsed + 1)) == pwLost)
                break;
        }
    }
    ContinuePolling();
    return got;
}

bool TCommPortDriver::ReadByte(std::uint8_t& Value)
{
    return ReadData(&Value, 1) == 1;
}

bool TCommPortDriver::ReadChar(char& Value)
{
    std::uint8_t b = 0;
    if (ReadData(&b, 1) != 1)
        return false;
    Value = static_cast<char>(b);
    return true;
}

std::uint32_t TCommPortDriver::SendDataEx(const char* DataPtr, std::uint32_t DataSize, std::uint32_t Timeout)
{
    if (!Connected() || !DataPtr)
        return 0;
    std::lock_guard tx(FTxLock);
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE)
        return 0;
    std::uint32_t sent = 0;
    std::int64_t start = TickMs();
    while (sent < DataSize && !FPortLost.load()) {
        const std::uint16_t room = OutFreeSpace();
        bool wouldBlock = false;
        if (room > 0) {
            if (FCkLineStatus && GetLineStatus().Empty())
                break;
            const auto want = std::min<std::uint32_t>(DataSize - sent, room);
            const ssize_t w = ::write(fd, DataPtr + sent, want);
            if (w > 0) {
                sent += static_cast<std::uint32_t>(w);
                start = TickMs();
                continue;
            }
            if (w < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    wouldBlock = true;
                } else {
                    MarkLostIf(errno);
                    break;
                }
            }
        }
        if (FPortLost.load())
            break;
        const std::int64_t elapsed = MsSince(start);
        if (elapsed > static_cast<std::int64_t>(Timeout))
            break;
        if (wouldBlock) {
            pollfd p {fd, POLLOUT, 0};
            const int left = static_cast<int>(static_cast<std::int64_t>(Timeout) - elapsed + 1);
            if (::poll(&p, 1, left) > 0 && (p.revents & kLossEvents) != 0) {
                FPortLost = true;
                break;
            }
        } else {
            // The queue is full by our own measure; the kernel gives no event for
            // "below OutBufSize", so look again shortly.
            ::usleep(1000);
        }
    }
    return sent;
}

std::uint32_t TCommPortDriver::SendData(const void* DataPtr, std::uint32_t DataSize)
{
    return SendDataEx(static_cast<const char*>(DataPtr), DataSize, FOutputTimeout);
}

bool TCommPortDriver::SendByte(std::uint8_t Value)
{
    return SendData(&Value, 1) == 1;
}

bool TCommPortDriver::SendChar(char Value)
{
    return SendData(&Value, 1) == 1;
}

bool TCommPortDriver::SendString(const std::string& S)
{
    return SendData(S.data(), static_cast<std::uint32_t>(S.size())) == S.size();
}

bool TCommPortDriver::SendZString(const char* S)
{
    if (!S)
        return false;
    return SendString(std::string(S));
}

bool TCommPortDriver::FlushBuffers(bool inBuf, bool outBuf)
{
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE)
        return false;
    if (inBuf || outBuf) {
        const int which = inBuf && outBuf ? TCIOFLUSH : (inBuf ? TCIFLUSH : TCOFLUSH);
        if (::tcflush(fd, which) != 0)
            return false;
    }
    std::lock_guard lock(FRxLock);
    FFirstByteOfPacketTime = 0;
    return true;
}

TPortWait TCommPortDriver::WaitForInput(int TimeoutMs)
{
    const int fd = FHandle.load();
    if (fd == INVALID_PORT_HANDLE)
        return pwClosed;
    if (FPortLost.load())
        return pwLost;
    pollfd p {fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, TimeoutMs < 0 ? 0 : TimeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        MarkLostIf(errno);
        return FPortLost.load() ? pwLost : pwTimeout;
    }
    if (r == 0)
        return pwTimeout;
    if (p.revents & kLossEvents) {
        FPortLost = true;
        return pwLost;
    }
    // Readable with nothing to read is a terminal at its end of file. Looked at
    // again under the receive lock, so that no reader of ours took the bytes.
    std::lock_guard rx(FRxLock);
    pollfd q {fd, POLLIN, 0};
    if (::poll(&q, 1, 0) <= 0)
        return pwTimeout;
    if (q.revents & kLossEvents) {
        FPortLost = true;
        return pwLost;
    }
    int n = 0;
    if (::ioctl(fd, FIONREAD, &n) != 0) {
        MarkLostIf(errno);
        return FPortLost.load() ? pwLost : pwData;
    }
    if (n == 0) {
        FPortLost = true;
        return pwLost;
    }
    return pwData;
}

// ---------------------------------------------------------------------------
// Modem lines

TLineStatusSet TCommPortDriver::GetLineStatus()
{
    TLineStatusSet s;
    const int fd = FHandle.load();
    int bits = 0;
    if (fd == INVALID_PORT_HANDLE || ::ioctl(fd, TIOCMGET, &bits) != 0)
        return s;
    if (bits & TIOCM_CTS)
        s.Include(lsCTS);
    if (bits & TIOCM_DSR)
        s.Include(lsDSR);
    if (bits & TIOCM_RNG)
        s.Include(lsRING);
    if (bits & TIOCM_CAR)
        s.Include(lsCD);
    return s;
}

void TCommPortDriver::ToggleDTR(bool onOff)
{
    const int fd = FHandle.load();
    int bit = TIOCM_DTR;
    if (fd != INVALID_PORT_HANDLE)
        ::ioctl(fd, onOff ? TIOCMBIS : TIOCMBIC, &bit);
}

void TCommPortDriver::ToggleRTS(bool onOff)
{
    const int fd = FHandle.load();
    int bit = TIOCM_RTS;
    if (fd != INVALID_PORT_HANDLE)
        ::ioctl(fd, onOff ? TIOCMBIS : TIOCMBIC, &bit);
}

void TCommPortDriver::SetBreak()
{
    const int fd = FHandle.load();
    if (fd != INVALID_PORT_HANDLE)
        ::ioctl(fd, TIOCSBRK);
}

void TCommPortDriver::ClearBreak()
{
    const int fd = FHandle.load();
    if (fd != INVALID_PORT_HANDLE)
        ::ioctl(fd, TIOCCBRK);
}

// ---------------------------------------------------------------------------
// Timer-driven receive path

std::uint32_t TCommPortDriver::PacketDurationMs() const
{
    // With a rate of 0 the line kept its own rate, which is the one that counts.
    const std::uint32_t bps = FBaudRateValue != 0 ? FBaudRateValue : FKeptRate;
    if (bps < 10 || FPacketSize <= 0)
        return 0;
    return static_cast<std::uint32_t>(std::lround(FPacketSize / (bps / 10.0) * 1000.0));
}

void TCommPortDriver::PollTimerProc()
{
    if (!Connected() || FRXPollingPauses.load() > 0)
        return;
    std::lock_guard rx(FRxLock);
    if (!Connected())
        return;
    std::int32_t n = CountRX();
    std::uint8_t* block = FTempInBuffer.data();
    const auto blockSize = static_cast<std::uint32_t>(FTempInBuffer.size());

    if (FPacketSize <= 0) {
        if (n > 0) {
            const long r = ReadSome(block, std::min(static_cast<std::uint32_t>(n), blockSize));
            if (r > 0 && FOnReceiveData)
                FOnReceiveData(this, block, static_cast<std::uint32_t>(r));
        }
        return;
    }

    const std::int32_t size = FPacketSize;
    if (n >= size) {
        const std::uint32_t duration = PacketDurationMs();
        while (n >= size) {
            const long r = ReadSome(block, std::min(static_cast<std::uint32_t>(size), blockSize));
            if (r < 0)
                return;
            if (r > 0 && FOnReceivePacket)
                FOnReceivePacket(this, block, static_cast<std::uint32_t>(r));
            // The next packet began about one packet's transmission time later.
            // With no packet pending there is nothing to move: the rest starts a
            // new pending packet on a later tick.
            if (FFirstByteOfPacketTime != 0)
                FFirstByteOfPacketTime += duration;
            n -= size;
            if (n == 0)
                FFirstByteOfPacketTime = 0;
        }
        return;
    }

    if (FPacketTimeout > 0 && FFirstByteOfPacketTime != 0 && MsSince(FFirstByteOfPacketTime) > FPacketTimeout) {
        const long r = n > 0 ? ReadSome(block, std::min(static_cast<std::uint32_t>(n), blockSize)) : 0;
        if (r > 0 && FPacketMode == pmPass && FOnReceivePacket)
            FOnReceivePacket(this, block, static_cast<std::uint32_t>(r));
        FFirstByteOfPacketTime = 0;
    } else if (n > 0 && FFirstByteOfPacketTime == 0) {
        FFirstByteOfPacketTime = TickMs();
    }
}

void TCommPortDriver::StartTimer()
{
    std::lock_guard lock(FTimerLock);
    FTimerArmed = true;
    FTimerRestart = true;
    if (!FTimerThread.joinable()) {
        FTimerStop = false;
        FTimerThread = std::thread([this] { TimerLoop(); });
    }
    FTimerCV.notify_all();
}

void TCommPortDriver::StopTimer()
{
    // The thread stays and sleeps until the port opens again: a receive handler
    // that closes the port runs on it, and a thread cannot wait for itself.
    std::lock_guard lock(FTimerLock);
    FTimerArmed = false;
    FTimerCV.notify_all();
}

void TCommPortDriver::EndTimer()
{
    std::thread t;
    {
        std::lock_guard lock(FTimerLock);
        FTimerStop = true;
        FTimerArmed = false;
        FTimerCV.notify_all();
        t = std::move(FTimerThread);
    }
    if (!t.joinable())
        return;
    if (t.get_id() == std::this_thread::get_id()) {
        // Destroyed by its own receive handler: the thread would return into a
        // freed object. Nothing sound is left to do but to say so.
        kvx::log::Error("serial port driver destroyed by its own receive handler");
        t.detach();
        return;
    }
    t.join();
}

void TCommPortDriver::TimerLoop()
{
    pthread_setname_np(pthread_self(), "CommPortTimer");
    std::unique_lock lock(FTimerLock);
    while (!FTimerStop) {
        if (!FTimerArmed || FRXPollingPauses.load() > 0) {
            // Closed or paused: sleep until the port opens or polling resumes
            // instead of ticking for nothing.
            FTimerCV.wait(lock, [this] { return FTimerStop || (FTimerArmed && FRXPollingPauses.load() <= 0); });
            continue;
        }
        FTimerRestart = false;
        const auto period = std::chrono::milliseconds(FPollingDelay.load());
        if (FTimerCV.wait_for(lock, period, [this] { return FTimerStop || FTimerRestart || !FTimerArmed; }))
            continue;
        lock.unlock();
        try {
            PollTimerProc();
        } catch (...) {
            // A handler that throws loses its tick, not the program.
            kvx::log::Caught("serial port driver: receive handler threw");
        }
        lock.lock();
    }
}
