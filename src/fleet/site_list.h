#pragma once
// The site list: which encoders a fleet holds, where each is reached and
// which settings it should hold. An INI file:
//
//   [defaults]
//   profile = golden.kvx        ; the settings every site should hold
//
//   [north]                     ; one section per site, named after it
//   port = tcp://10.1.2.3:4001  ; a serial port or tcp://HOST:PORT
//   profile = north.kvx         ; this site's own profile (optional)
//   PS = NORTH FM               ; settings-file keys override the profile
//
// Keys match without regard to case; blanks around "=" are ignored; ";" and
// "#" start a comment at the start of a line or after a blank; a value in
// double quotes is taken as written (blanks, ";" and "#" included). Setting
// keys in [defaults] apply to every site before the site's own. Relative
// profile paths start from the list's folder.
//
// The list is checked as a whole before any encoder is opened: every fault
// (an unknown key, a value the field table refuses, a port named twice, a
// profile that does not load) is a finding with its file and line.

#include "rds/data_validator.h"

#include <string>
#include <vector>

struct TSiteListFinding {
    std::string File; // the site list, or a profile
    int Line = 0;     // from 1; 0 for the file as a whole
    std::string Text; // what is wrong (UTF-8)
    // A note is said, but does not refuse the list (a key a profile lacks).
    bool Note = false;
};

// "sites.ini:12: PS=...: reason", or "golden.kvx: reason" without a line.
std::string FindingText(const TSiteListFinding& Finding);

struct TSite {
    std::string Name; // the section's name
    int Line = 0;     // of its [NAME] line
    std::string Port; // as given
    int PortLine = 0;
    // The profile as the list names it, and its path from here.
    std::string Profile;
    std::string ProfilePath;
    // The setting keys the list gives for the site (its own and the
    // defaults'), in the field table's order and spelling.
    std::vector<std::string> OverrideKeys;
    // The settings the site should hold: the profile with the overrides.
    // RTCManual is set: a profile says nothing about the clock.
    TBRDSDataValidator Desired;
};

struct TSiteList {
    std::string Path;
    std::vector<TSite> Sites; // in the list's order
    std::vector<TSiteListFinding> Findings;

    // No finding refuses the list (notes do not).
    bool Valid() const;
    // The site named Name (any letter case), or nullptr.
    const TSite* Find(const std::string& Name) const;
};

// Reads and checks the site list at Path, with every profile it names.
// Opens no port. List.Findings holds every fault found; the list is usable
// only when Valid().
TSiteList LoadSiteList(const std::string& Path);

// The same for a list's text, as if read from Path (its folder is where
// relative profile paths start).
TSiteList ParseSiteList(const std::string& Text, const std::string& Path);

// What identifies a port whatever its spelling: "tcp://host:4001" with the
// host in lower case and the port as a number; a serial port's device path,
// with its links followed when it exists ("ttyUSB0", "/dev/ttyUSB0" and a
// /dev/serial/by-id link to it are one port).
std::string PortIdentity(const std::string& Port);

// An 8-bit text for a person: characters beyond ASCII in UTF-8, control
// bytes as \xHH.
std::string PrintableText(const std::string& Latin1);
