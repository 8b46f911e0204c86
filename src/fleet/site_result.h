#pragma once
// What a fleet run is asked to do at a site and what came of it: the task,
// how a site's run ended, the site's result, and the run's options. The run,
// a site's job and its backup share them.

#include "dialogue/write_report.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

enum TFleetTask : std::uint8_t {
    ftkStatus, // read: identity, clock drift, settings that differ from the site's profile
    ftkDiff,   // read: the commands a push would send
    ftkPush,   // read, write the differences, read back
    ftkBackup, // read, and keep the settings in DIR/SITE.kvx when they changed
};

// How a site's run ended.
enum TSiteOutcome : std::uint8_t {
    soDone,        // the task was done (the encoder may still differ: see the result)
    soBusy,        // another program holds the port (the window, a terminal program)
    soUnreachable, // the port or the address could not be had
    soLinkLost,    // the link went away while the encoder was talked to
    soNoReply,     // a command got no reply within the reply time-out
    soRefused,     // the encoder refused a command (or sent a reply that cannot be meant)
    soTimedOut,    // the site's time-out ran out first
    soInterrupted, // the run was interrupted
    soFileError,   // backup: the file could not be written
};

// The outcome's word, as JSON and the metrics' reason label give it: "done",
// "busy", "unreachable", "link_lost", "no_reply", "refused", "timeout",
// "interrupted", "file_error".
const char* OutcomeWord(TSiteOutcome Outcome);

enum TBackupChange : std::uint8_t {
    bcNone,      // no backup was made (the read failed)
    bcNew,       // the site's file did not exist
    bcChanged,   // the settings changed: the file was rewritten
    bcUnchanged, // the file already holds these settings: it was left alone
};

struct TSiteResult {
    std::string Site;
    std::string Port;
    TSiteOutcome Outcome = soDone;
    // What went wrong, in words (empty when nothing did).
    std::string Reason;

    // A complete read was made: the fields below describe the encoder.
    bool Reachable = false;
    std::string Serial;
    std::string Hardware;
    std::string Firmware;
    // PI as four hexadecimal digits and the PS, as the encoder holds them.
    std::string PI;
    std::string PS;
    // The encoder's clock minus the computer's, in seconds (the encoder
    // gives whole seconds, so this is within half a second); none when its
    // date and time are not a real instant.
    std::optional<double> ClockDrift;
    // The settings keys whose value differs from the site's profile and
    // overrides, in the field table's order (only settings the firmware knows).
    std::vector<std::string> Differs;
    // The commands a write sends to bring the encoder to them.
    std::vector<std::string> Commands;
    // From the start of the connect to the end of the read.
    double ReadSeconds = 0;

    // Push: whether a write started, what it did, and the read-back.
    bool WriteStarted = false;
    TWriteReport Write;
    // Every setting the write sent holds, read back (or there was nothing to write).
    bool Verified = false;
    // Keys the read-back found different from what was written.
    std::vector<std::string> VerifyDiffers;

    // Backup.
    std::string BackupFile;
    TBackupChange Backup = bcNone;
    std::vector<std::string> ChangedKeys;

    // The site's exit code for its task (worst wins across sites): status
    // and diff 0 match, 1 differ, 2 not read; backup 0, 1 file not written,
    // 2 not read; push 0 written and verified (or nothing to write), 1 refused
    // before anything was applied, 2 link failure, 3 no reply or time-out,
    // 5 the read-back differs, 6 partly changed.
    int ExitCode = 0;
};

struct TFleetOptions {
    // Sites talked to at once.
    int Jobs = 8;
    // Longest wait for one reply.
    std::int64_t ReplyTimeoutMs = 3000;
    // Longest a site may take for its whole task, connect included.
    std::int64_t SiteTimeoutMs = 60000;
    // Backup: the folder of the site files (made when missing).
    std::string BackupDir;
    // Whether the run is to stop (asked on the main thread; whoever makes it
    // true from another thread then wakes the main thread, WakeMainThread):
    // the sites being talked to stop (a write once the command being
    // answered is answered), the others are not started.
    std::function<bool()> Interrupted;
    // Told of each site as it ends, in the order they end (on the main thread).
    std::function<void(const TSiteResult&)> OnSiteDone;
};
