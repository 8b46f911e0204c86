#include "dialogue/transcript.h"

#include "platform/date_time.h"

#include <cerrno>
#include <cstring>

TTranscript::~TTranscript()
{
    Close();
}

bool TTranscript::Open(const std::string& Path, std::string& Error)
{
    Close();
    FFile = std::fopen(Path.c_str(), "wb");
    if (!FFile) {
        Error = Path + ": " + std::strerror(errno);
        return false;
    }
    FStart = TickMs();
    return true;
}

void TTranscript::Close()
{
    if (FFile)
        std::fclose(FFile);
    FFile = nullptr;
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
    if (!FFile)
        return;
    std::fprintf(FFile, "%8lld %c %s\n", static_cast<long long>(MsSince(FStart)), Direction, Visible(Bytes).c_str());
    std::fflush(FFile);
}
