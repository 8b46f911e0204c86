#pragma once
// Findings of a settings validation, shown in the pre-flight window.

#include <string>
#include <vector>

enum TAlertType {
    altInfo = 0,   // shown only
    altCancel = 1, // blocks the save: the user can only cancel
    altConfirm = 2 // the save asks the user to confirm it
};

struct TAlert {
    TAlertType AlertType = altInfo;
    std::string Name;        // short title shown in the list
    std::string Description; // text of the description box
    bool Confirmed = false;  // false when made; nothing changes it afterwards
    // The setting the finding is about: its settings-file key and the value
    // as given (empty for a finding about the whole record or file), and the
    // line of the settings file it came from (0 when it came from no file).
    std::string Key;
    std::string Value;
    int Line = 0;
};

// In the order the findings were made.
using TAlertArray = std::vector<TAlert>;

// Appends one alert, not confirmed.
void AddAlert(TAlertArray& Alerts, TAlertType AlertType, const std::string& Name, const std::string& Description);
