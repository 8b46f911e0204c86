#include "live/file_input.h"

#include "live/access.h"
#include "live/live_inbox.h"
#include "platform/log.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

TFileInput::TFileInput(const std::string& Path, std::shared_ptr<TLiveInbox> Inbox)
    : TThread(true), FPath(Path), FInbox(std::move(Inbox))
{
    SetName("live file");
    const std::filesystem::path P(Path);
    FFolder = P.has_parent_path() ? P.parent_path().string() : std::string(".");
    FName = P.filename().string();
}

TFileInput::~TFileInput()
{
    Stop();
}

std::optional<std::string> TFileInput::Open()
{
    if (FName.empty())
        return "--file " + FPath + ": not a file name";
    FNotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (FNotify < 0 || !FWake.Open())
        return "--file " + FPath + ": cannot watch it: " + std::strerror(errno);
    // Rewritten in place: closed after writing; replaced: renamed onto the name.
    const std::uint32_t Mask = IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (::inotify_add_watch(FNotify, FFolder.c_str(), Mask) < 0)
        return "--file " + FPath + ": cannot watch its folder " + FFolder + ": " + std::strerror(errno);
    Start();
    return std::nullopt;
}

void TFileInput::TerminatedSet()
{
    FWake.Signal();
}

void TFileInput::Stop()
{
    if (Started())
        TerminateAndWait();
    if (FNotify >= 0)
        ::close(FNotify);
    FNotify = -1;
    FWake.Close();
}

void TFileInput::Look()
{
    // Not blocking on a FIFO, and only a regular file is read.
    const int Fd = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (Fd < 0) {
        if (errno != ENOENT)
            kvx::log::Warn("file %s: cannot read it: %s", FPath.c_str(), std::strerror(errno));
        return;
    }
    struct stat St { };
    std::string Text;
    if (::fstat(Fd, &St) != 0 || !S_ISREG(St.st_mode))
        kvx::log::Warn("file %s: not a regular file; passed over", FPath.c_str());
    else {
        char Buf[MaxRequestBytes + 1];
        ssize_t N = 0;
        while (Text.size() <= MaxRequestBytes && (N = ::read(Fd, Buf, sizeof Buf)) > 0) {
            Text.append(Buf, static_cast<std::size_t>(N));
            if (Text.find('\n') != std::string::npos)
                break;
        }
    }
    ::close(Fd);
    const std::size_t End = Text.find_first_of("\r\n");
    if (End == std::string::npos && Text.size() > MaxRequestBytes) {
        kvx::log::Warn("file %s: refused: a first line longer than %zu bytes", FPath.c_str(), MaxRequestBytes);
        return;
    }
    const std::string Line = Text.substr(0, End);
    if (Line.empty() || (FHaveLast && Line == FLast))
        return;
    FLast = Line;
    FHaveLast = true;
    kvx::log::Debug("file %s: %s", FPath.c_str(), Line.c_str());
    FInbox->Submit(ParseLiveLine(Line), "file " + FPath);
}

void TFileInput::Execute()
{
    try {
        Look();
        alignas(inotify_event) char Buf[16 * (sizeof(inotify_event) + 256)];
        while (!Terminated()) {
            pollfd P[2] = {{FWake.Fd(), POLLIN, 0}, {FNotify, POLLIN, 0}};
            if (::poll(P, 2, -1) < 0 && errno != EINTR)
                throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
            if (P[0].revents || Terminated())
                break;
            bool Ours = false;
            bool FolderGone = false;
            for (;;) {
                const ssize_t N = ::read(FNotify, Buf, sizeof Buf);
                if (N <= 0)
                    break;
                for (ssize_t Off = 0; Off < N;) {
                    const auto* E = reinterpret_cast<const inotify_event*>(Buf + Off);
                    if (E->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
                        FolderGone = true;
                    else if (E->len > 0 && FName == E->name)
                        Ours = true;
                    Off += static_cast<ssize_t>(sizeof(inotify_event) + E->len);
                }
            }
            if (Ours)
                Look();
            if (FolderGone) {
                kvx::log::Error("file %s: its folder %s was removed or moved; the file is no longer watched",
                    FPath.c_str(), FFolder.c_str());
                break;
            }
        }
    } catch (...) {
        kvx::log::Caught("file input");
    }
}
