#pragma once
// The file input: the first line of a file, whenever the file is rewritten
// in place (closed after writing) or replaced by a rename onto its name. The
// thread watches the file's folder with inotify and sleeps until something
// happens there; events for other names (an editor's temporary and backup
// files) are ignored, and so is a first line that did not change. The line
// is read as the TCP input reads one (KEY=value or the whole text), at most
// MaxRequestBytes of it; an empty file, a folder or other non-file is passed
// over with a warning. The file's line at the start counts as an update.

#include "platform/thread.h"
#include "platform/wake_event.h"

#include <memory>
#include <optional>
#include <string>

class TLiveInbox;

class TFileInput : public TThread {
public:
    TFileInput(const std::string& Path, std::shared_ptr<TLiveInbox> Inbox);
    ~TFileInput() override;

    // Starts watching; answers why it cannot (no such folder), or nothing.
    std::optional<std::string> Open();
    void Stop();
    const std::string& Path() const { return FPath; }

protected:
    void Execute() override;
    void TerminatedSet() override;

private:
    // Reads the first line and hands it over when it changed.
    void Look();

    const std::string FPath;
    std::string FFolder;
    std::string FName;
    std::shared_ptr<TLiveInbox> FInbox;
    int FNotify = -1;
    TWakeEvent FWake;
    std::string FLast;
    bool FHaveLast = false;
};
