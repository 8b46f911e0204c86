#include "support/log_capture.h"

#include "platform/log.h"

TLogCapture::TLogCapture()
{
    kvx::log::SetSink([this](kvx::log::Level, const std::string& Line) {
        std::lock_guard Lock(FLock);
        FLines.push_back(Line);
    });
}

TLogCapture::~TLogCapture()
{
    kvx::log::SetSink(nullptr);
    kvx::log::SetLevel(kvx::log::ParseLevel(""));
}

std::vector<std::string> TLogCapture::Take() const
{
    std::lock_guard Lock(FLock);
    return FLines;
}
