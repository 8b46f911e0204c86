#include "dialogue/transcript.h"

#include "platform/date_time.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

TTranscript::~TTranscript()
{
    Close();
}

bool TTranscript::Open(const std::string& Path, std::string& Error)
{
    Close();
    // A symbolic link at the path is not followed: in a shared folder it may
    // have been put there to make the transcript overwrite another file.
    const int Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
    if (Fd < 0) {
        const int Err = errno;
        Error = Path + ": "
            + (Err == ELOOP ? std::string("it is a symbolic link, which is not followed; name the file itself")
                            : std::string(std::strerror(Err)));
        return false;
    }
    FFile = ::fdopen(Fd, "wb");
    if (!FFile) {
        Error = Path + ": " + std::strerror(errno);
        ::close(Fd);
        return false;
    }
    if (FStart < 0)
        FStart = TickMs();
    return true;
}

void TTranscript::Close()
{
    if (FFile)
        std::fclose(FFile);
    FFile = nullptr;
    FMirror = nullptr;
    FStart = -1;
}

void TTranscript::MirrorTo(std::FILE* Stream)
{
    FMirror = Stream;
    if (FStart < 0)
        FStart = TickMs();
}

std::string TTranscript::Visible(const std::string& Bytes)
{
    std::string Out;
    for (unsigned char C : Bytes) {
        if (C == '\r')
            Out += "\\r";
        else if (C == '\n')
            Out += "\\n";
        else if (C == '\\')
            Out += "\\\\";
        else if (C < 32 || C == 127) {
            char Buf[8];
            std::snprintf(Buf, sizeof Buf, "\\x%.2X", C);
            Out += Buf;
        } else
            Out += static_cast<char>(C);
    }
    return Out;
}

void TTranscript::Write(char Direction, const std::string& Bytes)
{
    if (!FFile && !FMirror)
        return;
    char Stamp[32];
    std::snprintf(Stamp, sizeof Stamp, "%8lld %c ", static_cast<long long>(MsSince(FStart)), Direction);
    const std::string Line = Stamp + Visible(Bytes) + "\n";
    for (std::FILE* F : {FFile, FMirror})
        if (F) {
            std::fputs(Line.c_str(), F);
            std::fflush(F);
        }
}
