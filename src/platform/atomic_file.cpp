#include "platform/atomic_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

std::string Errno(const std::string& What, const std::string& Path, int Err)
{
    return What + " \"" + Path + "\": " + std::strerror(Err);
}

// Writes all of Text to Fd through Write; the errno of the failure otherwise.
int WriteAll(int Fd, const std::string& Text, const TFileWrite& Write)
{
    std::size_t Done = 0;
    while (Done < Text.size()) {
        const ssize_t n = Write(Fd, Text.data() + Done, Text.size() - Done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        Done += static_cast<std::size_t>(n);
    }
    return 0;
}

std::string FolderOf(const std::string& Path)
{
    const std::size_t Slash = Path.rfind('/');
    return Slash == std::string::npos ? "." : Slash == 0 ? "/" : Path.substr(0, Slash);
}

// The file a path names after following its symbolic links (the path itself
// when it is none); a link to a missing file names the file it would create.
bool FollowLinks(const std::string& Path, std::string& Target, int& Err)
{
    Target = Path;
    for (int Hops = 0; Hops < 40; ++Hops) {
        struct stat St { };
        if (lstat(Target.c_str(), &St) != 0 || !S_ISLNK(St.st_mode))
            return true;
        std::vector<char> Buf(static_cast<std::size_t>(St.st_size > 0 ? St.st_size : PATH_MAX) + 1);
        const ssize_t n = readlink(Target.c_str(), Buf.data(), Buf.size());
        if (n < 0) {
            Err = errno;
            return false;
        }
        const std::string Link(Buf.data(), static_cast<std::size_t>(n));
        Target = !Link.empty() && Link[0] == '/' ? Link : FolderOf(Target) + "/" + Link;
    }
    Err = ELOOP;
    return false;
}

bool ReadAll(int Fd, std::string& Out)
{
    char Buf[65536];
    for (;;) {
        const ssize_t n = read(Fd, Buf, sizeof Buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        Out.append(Buf, static_cast<std::size_t>(n));
    }
}

// Rewrites an existing file in place, for a folder where no new file can be
// made: the old contents are first copied to a backup file in the temporary
// folder, and put back when the new text cannot be written. The backup is
// removed after a good write, and kept (and named in Error) when even the old
// contents cannot be put back.
bool RewriteInPlace(const std::string& Target, const std::string& Path, const std::string& Text,
    const TFileWrite& Write, std::string& Error)
{
    const int Fd = open(Target.c_str(), O_RDWR | O_CLOEXEC);
    if (Fd < 0) {
        Error = Errno("Cannot create file", Path, errno);
        return false;
    }
    std::string Old;
    if (!ReadAll(Fd, Old)) {
        const int Err = errno;
        close(Fd);
        Error = Errno("Cannot read file", Path, Err);
        return false;
    }
    const char* TmpDir = std::getenv("TMPDIR");
    std::string Backup = std::string(TmpDir && *TmpDir ? TmpDir : "/tmp") + "/kvx-backup-XXXXXX";
    const int BackupFd = mkostemp(Backup.data(), O_CLOEXEC);
    if (BackupFd < 0) {
        const int Err = errno;
        close(Fd);
        Error = Errno("Cannot make a backup copy of", Path, Err);
        return false;
    }
    const int BackupErr = WriteAll(BackupFd, Old, TFileWrite(::write));
    if (BackupErr != 0 || fsync(BackupFd) != 0 || close(BackupFd) != 0) {
        const int Err = BackupErr ? BackupErr : errno;
        unlink(Backup.c_str());
        close(Fd);
        Error = Errno("Cannot make a backup copy of", Path, Err);
        return false;
    }

    auto Put = [&](const std::string& Bytes, const TFileWrite& W) -> int {
        if (lseek(Fd, 0, SEEK_SET) != 0)
            return errno;
        if (int Err = WriteAll(Fd, Bytes, W))
            return Err;
        if (ftruncate(Fd, static_cast<off_t>(Bytes.size())) != 0)
            return errno;
        return fsync(Fd) != 0 ? errno : 0;
    };
    const int Err = Put(Text, Write);
    if (Err == 0) {
        const bool Closed = close(Fd) == 0;
        if (Closed) {
            unlink(Backup.c_str());
            return true;
        }
        Error = Errno("Cannot write file", Path, errno) + " (the old contents are in \"" + Backup + "\")";
        return false;
    }
    Error = Errno("Cannot write file", Path, Err);
    if (Put(Old, TFileWrite(::write)) == 0)
        unlink(Backup.c_str());
    else
        Error += " (the old contents are in \"" + Backup + "\")";
    close(Fd);
    return false;
}

} // namespace

bool WriteFileAtomic(
    const std::string& Path, const std::string& Text, std::string& Error, const TAtomicFileOptions& Options)
{
    TFileWrite Write = Options.Write;
    if (!Write)
        Write = [](int Fd, const void* Buf, std::size_t Count) { return ::write(Fd, Buf, Count); };

    std::string Target = Path;
    int LinkErr = 0;
    if (Options.FollowLinks && !FollowLinks(Path, Target, LinkErr)) {
        Error = Errno("Cannot write file", Path, LinkErr);
        return false;
    }
    struct stat Old { };
    const bool Exists = Options.KeepAttributes && stat(Target.c_str(), &Old) == 0;

    std::string Temp = Target + ".XXXXXX";
    const int Fd = mkostemp(Temp.data(), O_CLOEXEC);
    if (Fd < 0) {
        const int Err = errno;
        // A folder where no new file can be made, around a file that can be
        // written: rewrite the file itself.
        if (Exists && S_ISREG(Old.st_mode) && (Err == EACCES || Err == EPERM))
            return RewriteInPlace(Target, Path, Text, Write, Error);
        Error = Errno("Cannot create file", Path, Err);
        return false;
    }
    auto Fail = [&](const char* What, int Err) {
        close(Fd);
        unlink(Temp.c_str());
        Error = Errno(What, Path, Err);
        return false;
    };
    // When the owner cannot be kept, the file is rewritten in place instead,
    // which keeps it.
    if (Exists) {
        if ((Old.st_uid != geteuid() || Old.st_gid != getegid()) && fchown(Fd, Old.st_uid, Old.st_gid) != 0) {
            close(Fd);
            unlink(Temp.c_str());
            return RewriteInPlace(Target, Path, Text, Write, Error);
        }
        if (fchmod(Fd, Old.st_mode & 07777) != 0)
            return Fail("Cannot write file", errno);
    } else {
        const mode_t Mask = umask(0);
        umask(Mask);
        if (fchmod(Fd, 0666 & ~Mask) != 0)
            return Fail("Cannot write file", errno);
    }

    if (int Err = WriteAll(Fd, Text, Write))
        return Fail("Cannot write file", Err);
    if (fsync(Fd) != 0)
        return Fail("Cannot write file", errno);
    if (close(Fd) != 0) {
        const int Err = errno;
        unlink(Temp.c_str());
        Error = Errno("Cannot write file", Path, Err);
        return false;
    }
    if (rename(Temp.c_str(), Target.c_str()) != 0) {
        const int Err = errno;
        unlink(Temp.c_str());
        Error = Errno("Cannot write file", Path, Err);
        return false;
    }
    // Make the rename itself durable.
    const int DirFd = open(FolderOf(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd >= 0) {
        fsync(DirFd);
        close(DirFd);
    }
    return true;
}
