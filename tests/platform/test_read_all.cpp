#include "platform/read_all.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// A file in memory holding Bytes, read from its start.
int FileWith(const std::string& Bytes)
{
    const int Fd = ::memfd_create("read_all", MFD_CLOEXEC);
    if (Fd < 0)
        return -1;
    if (::write(Fd, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size())
        || ::lseek(Fd, 0, SEEK_SET) != 0) {
        ::close(Fd);
        return -1;
    }
    return Fd;
}

TEST(ReadAll, ReadsToTheEndWithinTheLimitAndNamesWhatStopsIt)
{
    const std::string Bytes(70000, 'k'); // more than one read takes
    struct {
        std::size_t Limit;
        TReadAllResult Result;
    } Cases[] = {{Bytes.size(), raDone}, {Bytes.size() - 1, raTooLarge}};
    for (const auto& C : Cases) {
        SCOPED_TRACE("limit " + std::to_string(C.Limit));
        const int Fd = FileWith(Bytes);
        ASSERT_GE(Fd, 0);
        std::string Text = "left over";
        EXPECT_EQ(ReadAll(Fd, Text, C.Limit), C.Result);
        if (C.Result == raDone) {
            EXPECT_EQ(Text, Bytes);
        }
        EXPECT_LE(Text.size(), C.Limit);
        ::close(Fd);
    }
    std::string Text;
    EXPECT_EQ(ReadAll(-1, Text), raError);
    EXPECT_EQ(errno, EBADF);
}

} // namespace
