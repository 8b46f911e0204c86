#pragma once
// The program's persisted settings (window place and serial port) and the ini
// file that holds them between runs.
//
// The environment variable KVX_CONFIG_DIR names the folder of kvxc.ini
// outright. Otherwise a program run from its build tree (the build writes the
// marker file BuildTreeMarker beside it) keeps the file in "conf/" beside
// itself, and every other program, root's included, in
// "$XDG_CONFIG_HOME/kvxc/conf" (default ~/.config): an installed program never
// writes into its own folder, whether it could or not.
//
// Plain C++: a console program can use it as well as the window.

#include <cstddef>
#include <cstdint>
#include <string>

struct TConfigData {
    std::int32_t APP_X;      // left edge of the main window
    std::int32_t APP_Y;      // top edge of the main window
    std::int32_t APP_Width;  // read and written back, never applied
    std::int32_t APP_Height; // read and written back, never applied
    bool APP_Maximized;      // the window was maximised when the program last closed
    std::string CONN_PORT;   // serial port as enumerated or typed; empty means none
    // Seconds a command of the encoder dialogue waits for its reply before the
    // dialogue gives up and disconnects; 0 waits without end.
    std::int32_t CONN_REPLY_TIMEOUT = 5;

    bool operator==(const TConfigData&) const = default;
};

// The defaults: fallback of every key, content of DefaultConfig and of the
// settings dialog's Default button.
extern const TConfigData DefConfigData;

// The file the build writes beside the programs of its build tree; never installed.
extern const char* const BuildTreeMarker; // "kvx-build-tree"

// The longest port name kept, in 8-bit characters.
constexpr std::size_t ConfigPortMax = 255;

// Port cut at the first NUL (no device path holds one) and to ConfigPortMax.
std::string CutConfigPort(const std::string& Port);

// The longest reply time-out kept, in seconds (a larger value is cut to it).
constexpr std::int32_t ConfigReplyTimeoutMax = 600;

// The folder for the program's state between runs (the recovery file of
// unsaved edits): "$XDG_STATE_HOME/kvxc" (an unset or relative XDG_STATE_HOME
// counts as "~/.local/state"). With Create, the folder is made when missing;
// an empty result then means it could not be.
std::string StateFolder(bool Create = false);

class TDMI {
public:
    // Keeps its file beside the running program file.
    TDMI();
    // ProgramFolder stands for the folder of the program file.
    explicit TDMI(std::string ProgramFolder);

    // Reads the six keys; each missing or unreadable one reads as its default.
    void ReadConfig(TConfigData& AConfig) const;
    // Writes the six keys, each file update replacing the file as a whole.
    // False (and a line on stderr) when the file could not be written; the
    // previous file is then left as it was.
    bool WriteConfig(const TConfigData& AConfig) const;
    static void DefaultConfig(TConfigData& AConfig);

    const std::string& ProgramFolder() const { return FProgramFolder; }
    // The folder chosen at creation and the ini file in it.
    const std::string& ConfigFolder() const { return FConfigFolder; }
    std::string FileName() const;

    // The folder of the running program file.
    static std::string ProgramFileFolder();
    // "$XDG_CONFIG_HOME/kvxc/conf" (default "~/.config/kvxc/conf").
    static std::string UserConfigFolder();

    // Whether ProgramFolder holds the build tree's marker.
    static bool InBuildTree(const std::string& ProgramFolder);

    // Chooses the folder and creates it with any missing parent folders (done
    // at creation): KVX_CONFIG_DIR when set, else, in a build tree, the
    // program's "conf" folder when it can be created and written, else
    // UserConfigFolder().
    void EnsureConfigFolder();

private:
    std::string FProgramFolder;
    std::string FConfigFolder;
};
