#pragma once
// Replacing a file in one step: the new text goes to a temporary file with a
// unique name in the same folder, is flushed to disk and renamed over the
// file, and the folder is flushed so that the rename itself is durable. A
// failure leaves the old file as it was and no temporary file behind.

#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>

// Stands in for write(2) when writing the new text (for tests).
using TFileWrite = std::function<ssize_t(int Fd, const void* Buf, std::size_t Count)>;

struct TAtomicFileOptions {
    // A symbolic link stays a link: the file it points to is the one replaced.
    bool FollowLinks = false;
    // The new file keeps the old one's mode, owner and group. In a folder where
    // no new file can be made (or when the owner cannot be kept), a writable
    // file is rewritten in place after a backup copy to the temporary folder,
    // and put back when the write fails. Without it a new file gets the usual
    // mode (0666 less the umask).
    bool KeepAttributes = false;
    TFileWrite Write;
};

// Writes Text to Path; on failure returns false with the reason in Error,
// which names Path and the system's reason.
bool WriteFileAtomic(
    const std::string& Path, const std::string& Text, std::string& Error, const TAtomicFileOptions& Options = {});
