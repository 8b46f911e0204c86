#include "_conn/serial_connection.h"

#include "platform/number_parse.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include <poll.h>
#include <sys/ioctl.h>

#include "platform/assertion.h"

// ---------------------------------------------------------------------------
// Helpers

std::int32_t StrToInt(const std::string& S)
{
    std::size_t i = 0;
    while (i < S.size() && (S[i] == ' ' || S[i] == '\t'))
        ++i;
    const std::optional<std::int32_t> v = ParseInt32(std::string_view(S).substr(i));
    if (!v)
        throw EConvertError("'" + S + "' is not a valid integer value");
    return *v;
}

namespace {

// Closes a port opened for a check. Exclusive mode outlives the close on a
// pseudo-terminal, so it is ended first.
void ReleaseChecked(TFileDescriptor& Fd)
{
    if (Fd.Valid())
        ::ioctl(Fd.Get(), TIOCNXCL);
    Fd.Reset();
}

// Opens a port for a check: locked, and in exclusive mode when it is a
// terminal, so that nobody else comes in while the others are looked for.
// Answers the errno of a failed open in Err.
TFileDescriptor OpenForCheck(const std::string& Path, int& Err)
{
    errno = 0;
    TFileDescriptor fd = OpenPortExclusive(Path);
    Err = fd.Valid() ? 0 : errno;
    if (fd.Valid())
        ::ioctl(fd.Get(), TIOCEXCL); // fails on what is no terminal; the connect says so later
    return fd;
}

// The problem a port has once it was opened (Err 0) or not, given the
// processes seen holding it.
TPortProblem ProblemOf(int Err, std::vector<TPortHolder> Holders)
{
    // Somebody holds the lock or the exclusive mode: named when seen.
    if (Err == EWOULDBLOCK || Err == EBUSY || Err == 0) {
        if (!Holders.empty())
            return {ppHeld, EBUSY, std::move(Holders)};
    }
    if (Err != 0)
        return {ppOpen, Err, {}};
    return {};
}

// Only a holder seen on two looks a moment apart counts: a program that opens
// the port for an instant (a udev probe, a flush) is no rival. Looks again at
// the ports in Paths that First found held, in one walk.
std::vector<std::vector<TPortHolder>> SecondLook(
    const std::vector<std::string>& Paths, std::vector<std::vector<TPortHolder>> First)
{
    std::vector<std::string> again;
    for (std::size_t i = 0; i < Paths.size(); ++i)
        again.push_back(First[i].empty() ? std::string() : Paths[i]);
    if (std::all_of(First.begin(), First.end(), [](const auto& H) { return H.empty(); }))
        return First;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const std::vector<std::vector<TPortHolder>> second = FindPortHolders(again);
    for (std::size_t i = 0; i < Paths.size(); ++i)
        std::erase_if(First[i],
            [&](const TPortHolder& H) { return std::find(second[i].begin(), second[i].end(), H) == second[i].end(); });
    return First;
}

// Ports checked ahead of their connects, by device path, each open and
// locked; those still kept at exit leave exclusive mode as they close.
struct TKeptPorts : std::map<std::string, TFileDescriptor> {
    TKeptPorts() = default;
    TKeptPorts(const TKeptPorts&) = delete;
    TKeptPorts& operator=(const TKeptPorts&) = delete;
    ~TKeptPorts()
    {
        for (auto& [path, fd] : *this)
            ReleaseChecked(fd);
    }
};
std::mutex GAheadLock;
TKeptPorts GAhead; // under GAheadLock

// The port checked ahead for Path, taken out of the keeping; an invalid
// descriptor when none is kept.
TFileDescriptor TakeCheckedAhead(const std::string& Path)
{
    std::lock_guard lock(GAheadLock);
    const auto it = GAhead.find(Path);
    if (it == GAhead.end())
        return {};
    TFileDescriptor fd = std::move(it->second);
    GAhead.erase(it);
    return fd;
}

} // namespace

// ---------------------------------------------------------------------------
// TConnCOM

bool TConnCOM::CheckVersion(bool ASilent)
{
    Assert((ConnCOMVer & 0xFF) == 4, "Conn Ancestor Version Differs");
    return ASilent;
}

TConnCOM::TConnCOM(bool ASilent) : TCustomConnection(CheckVersion(ASilent))
{
    FCPD = new TCommPortDriver();
    // This connection reads on its own thread.
    FCPD->PausePolling();
}

TConnCOM::~TConnCOM()
{
    // The connection thread calls into this object, and the buffer thread
    // into its base: both must be gone before either is taken apart.
    StopThreads();
    ReleaseChecked(FChecked);
    delete FCPD;
    FCPD = nullptr;
}

std::string TConnCOM::PortPath(const std::string& PortName)
{
    if (!PortName.empty() && PortName.front() == '/')
        return PortName;
    return "/dev/" + PortName;
}

bool TConnCOM::ProbePort(const std::string& PortName)
{
    return !PortName.empty() && CheckPort(PortName).Kind == ppNone;
}

TPortProblem TConnCOM::CheckPort(const std::string& PortName, TFileDescriptor* Keep)
{
    const std::string path = PortPath(PortName);
    int err = 0;
    TFileDescriptor fd = OpenForCheck(path, err);
    TPortProblem problem = ProblemOf(err, SecondLook({path}, FindPortHolders(std::vector<std::string> {path})).front());
    if (problem.Kind == ppNone && Keep)
        *Keep = std::move(fd);
    ReleaseChecked(fd);
    return problem;
}

namespace {

// Checks the ports with one walk; with Keep, each port had is kept for its connect.
std::vector<TPortProblem> CheckPortsOnce(const std::vector<std::string>& PortNames, bool Keep)
{
    std::vector<std::string> paths;
    std::vector<TFileDescriptor> fds;
    std::vector<int> errs(PortNames.size());
    for (std::size_t i = 0; i < PortNames.size(); ++i) {
        paths.push_back(TConnCOM::PortPath(PortNames[i]));
        // A port still kept from an earlier check is ours: looked at afresh.
        if (Keep) {
            TFileDescriptor earlier = TakeCheckedAhead(paths.back());
            ReleaseChecked(earlier);
        }
        fds.push_back(OpenForCheck(paths.back(), errs[i]));
    }
    const std::vector<std::vector<TPortHolder>> holders = SecondLook(paths, FindPortHolders(paths));
    std::vector<TPortProblem> problems;
    for (std::size_t i = 0; i < PortNames.size(); ++i) {
        problems.push_back(ProblemOf(errs[i], holders[i]));
        if (Keep && problems.back().Kind == ppNone && fds[i].Valid()) {
            std::lock_guard lock(GAheadLock);
            ReleaseChecked(GAhead[paths[i]]);
            GAhead[paths[i]] = std::move(fds[i]);
        }
        ReleaseChecked(fds[i]);
    }
    return problems;
}

} // namespace

std::vector<TPortProblem> TConnCOM::CheckPorts(const std::vector<std::string>& PortNames)
{
    return CheckPortsOnce(PortNames, false);
}

std::vector<TPortProblem> TConnCOM::CheckPortsAhead(const std::vector<std::string>& PortNames)
{
    return CheckPortsOnce(PortNames, true);
}

void TConnCOM::ReleaseCheckedAhead(const std::vector<std::string>& PortNames)
{
    std::map<std::string, TFileDescriptor> gone;
    {
        std::lock_guard lock(GAheadLock);
        if (PortNames.empty())
            gone.swap(GAhead);
        for (const std::string& name : PortNames) {
            const auto it = GAhead.find(PortPath(name));
            if (it != GAhead.end())
                gone.insert(GAhead.extract(it));
        }
    }
    for (auto& [path, fd] : gone)
        ReleaseChecked(fd);
}

TPortProblem TConnCOM::LastProblem() const
{
    std::lock_guard lock(FCheckLock);
    return FLastProblem;
}

std::string TConnCOM::ProblemText() const
{
    const TPortProblem Problem = LastProblem();
    if (Problem.Kind == ppNone)
        return {};
    return PortProblemText(Port(), Problem, EnumerateDevices(false));
}

bool TConnCOM::Connect()
{
    // No attempt may start before the checks below had their say.
    TAttemptHold hold(*this);
    // A connection that is connected or about to be keeps its port: it answers
    // "Already Connected" and nothing else happens to it.
    if (!TCustomConnection::Connect())
        return false;
    const std::string port = Port();
    if (port.empty()) {
        FWaitForConnect = false;
        Announce(stInvalidConnectionParams);
        FWantDisconnect = true;
        Wake();
        return false;
    }
    FCPD->SetPortName(PortPath(port));
    // The port stays open and locked from the check to the connection
    // thread's attempt, which takes it as it is.
    // A port checked ahead (one look for many ports) is taken as it is.
    TFileDescriptor checked = TakeCheckedAhead(PortPath(port));
    TPortProblem problem = checked.Valid() ? TPortProblem {} : CheckPort(port, &checked);
    const bool refused = problem.Kind != ppNone;
    {
        std::lock_guard lock(FCheckLock);
        FLastProblem = std::move(problem);
        ReleaseChecked(FChecked);
        FChecked = std::move(checked);
    }
    if (refused) {
        FWaitForConnect = false;
        Announce(stConnectionRefused);
        FWantDisconnect = true;
        Wake();
        return false;
    }
    FCPD->PausePolling();
    return true;
}

void TConnCOM::Disconnect(TConnStatus /*DisconnectMessage*/)
{
    {
        // A connect given up before its attempt lets the port go.
        std::lock_guard lock(FCheckLock);
        ReleaseChecked(FChecked);
    }
    if (Connected() != stConnected)
        Announce(stNotConnected);
    TCustomConnection::Disconnect(stDisconnecting);
}

std::uint32_t TConnCOM::Speed() const
{
    return FCPD->BaudRateValue();
}

void TConnCOM::SetSpeed(std::uint32_t Value)
{
    if (Value == FCPD->BaudRateValue())
        return;
    // An open port takes the new rate in place (its queues are purged, as a
    // reopen would). Closing it here instead would pull the descriptor from
    // under the connection thread, and a reopen that failed would leave the
    // connection silently marked as disconnected.
    FCPD->SetBaudRateValue(Value);
}

void TConnCOM::SetLine(const TSerialLine& Line)
{
    FCPD->SetBaudRate(Line.BaudRate);
    FCPD->SetDataBits(Line.DataBits);
    FCPD->SetParity(Line.Parity);
    FCPD->SetStopBits(Line.StopBits);
    FCPD->SetHwFlow(Line.HwFlow);
    FCPD->SetSwFlow(Line.SwFlow);
    FCPD->SetBaudRateValue(Line.BaudRateValue);
}

void TConnCOM::SetProperties(const TStringDynArray& AProps)
{
    TCustomConnection::SetProperties(AProps);

    // Highest ordinal each position accepts (position 1 and 8 are plain numbers).
    static constexpr std::int32_t kMaxOrdinal[] = {0, 0, br256000, db8BITS, ptSPACE, sb2BITS, hfRTSCTS, sfXONXOFF, 0};
    static const char* const kNames[]
        = {"Port", "NoDataTimeout", "BaudRate", "DataBits", "Parity", "StopBits", "HwFlow", "SwFlow", "BaudRateValue"};
    const std::size_t count = std::min<std::size_t>(AProps.size(), 9);
    std::int32_t v[9] = {};
    for (std::size_t i = 1; i < count; ++i) {
        v[i] = StrToInt(AProps[i]);
        const bool ordinal = i >= 2 && i <= 7;
        if ((ordinal && (v[i] < 0 || v[i] > kMaxOrdinal[i])) || (i == 8 && v[i] < 0))
            throw EConvertError("'" + AProps[i] + "' is not a valid value for " + kNames[i]);
    }

    for (std::size_t i = 0; i < count; ++i) {
        switch (i) {
        case 0:
            SetProp("PORT", AProps[0]);
            break;
        case 1:
            SetNoDataTimeout(v[1]);
            break;
        case 2:
            FCPD->SetBaudRate(static_cast<TBaudRate>(v[2]));
            break;
        case 3:
            FCPD->SetDataBits(static_cast<TDataBits>(v[3]));
            break;
        case 4:
            FCPD->SetParity(static_cast<TParity>(v[4]));
            break;
        case 5:
            FCPD->SetStopBits(static_cast<TStopBits>(v[5]));
            break;
        case 6:
            FCPD->SetHwFlow(static_cast<THwFlowControl>(v[6]));
            break;
        case 7:
            FCPD->SetSwFlow(static_cast<TSwFlowControl>(v[7]));
            break;
        case 8:
            FCPD->SetBaudRateValue(static_cast<std::uint32_t>(v[8]));
            break;
        default:
            break;
        }
    }
}

TConnStatus TConnCOM::DoConnect()
{
    TCustomConnection::DoConnect();
    TFileDescriptor checked;
    {
        std::lock_guard lock(FCheckLock);
        checked = std::move(FChecked);
    }
    return FCPD->Connect(std::move(checked)) ? stConnected : stConnecting;
}

TConnStatus TConnCOM::DoDisconnect()
{
    TCustomConnection::DoDisconnect();
    if (FCPD->Connected())
        FCPD->Disconnect();
    return stDisconnecting;
}

TConnStatus TConnCOM::DoRead(void*& Data, std::int32_t& DataSize)
{
    DataSize = 0;
    if (!FCPD->Connected())
        return stConnected;
    if (FCPD->PortLost())
        return PortWentAway();
    const std::int32_t n = FCPD->CountRX();
    if (n > 0) {
        auto* block = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(n)));
        if (!block)
            return stConnected; // try again on the next pass
        const std::uint32_t got = FCPD->ReadData(block, static_cast<std::uint32_t>(n));
        if (got == 0) {
            std::free(block);
        } else {
            if (got != static_cast<std::uint32_t>(n)) {
                if (void* smaller = std::realloc(block, got))
                    block = static_cast<std::uint8_t*>(smaller);
            }
            Data = block;
            DataSize = static_cast<std::int32_t>(got);
        }
        // Bytes that came before the port went away are delivered first.
        if (got == 0 && FCPD->PortLost())
            return PortWentAway();
        return stConnected;
    }
    // Nothing waits: a port that has merely no data is fine, one that has gone
    // away (hang-up, unplugged adapter) ends the connection.
    if (FCPD->PortLost() || FCPD->WaitForInput(0) == pwLost)
        return PortWentAway();
    return stConnected;
}

TConnStatus TConnCOM::PortWentAway()
{
    std::lock_guard lock(FCheckLock);
    FLastProblem = {ppLost, 0, {}};
    return stDisconnectedFromDevice;
}

TConnStatus TConnCOM::DoProcess()
{
    std::lock_guard lock(FSendBufferCS);
    if (FSendIdx < FSendLength) {
        const std::uint32_t sent = FCPD->SendDataEx(reinterpret_cast<const char*>(FSendBuffer.data()) + FSendIdx,
            static_cast<std::uint32_t>(FSendLength - FSendIdx), 500);
        FSendIdx += static_cast<std::int32_t>(sent);
    }
    return stConnected;
}

bool TConnCOM::DoWrite(const void* Data, std::int32_t DataSize)
{
    const bool r = TCustomConnection::DoWrite(Data, DataSize);
    if (r && !BufferedSend())
        FCPD->SendDataEx(static_cast<const char*>(Data), static_cast<std::uint32_t>(DataSize), 500);
    return r;
}

void TConnCOM::WaitForActivity(int /*TimeoutMs*/)
{
    // Everything the loop must react to wakes this wait, so it may last long.
    if (!FCPD->PortLost())
        WaitOnDescriptor(FCPD->Handle(), POLLIN);
}
