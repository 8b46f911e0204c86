#pragma once
// What the system knows of a serial port, for the window's port lists (tool
// tips) and kvxctl's list of ports: the device path, the driver and, for a
// USB adapter, its maker, product, serial number and USB ids from sysfs, and
// the stable links to it under <dev>/serial/by-id.
//
// Plain C++ over the same tree the port enumeration scans, so tests can use a
// fixture tree in place of /sys/class/tty and /dev.

#include <string>
#include <vector>

struct TPortFacts {
    std::string Port;         // as given: "ttyUSB0" or a path such as a by-id link
    std::string DevicePath;   // the path the port opens: <dev>/<name>, or the given path
    std::string Name;         // the tty's name ("ttyUSB0"); empty when the path leads to none
    std::string LinkedPath;   // <dev>/<name> when there is a name
    bool Exists = false;      // DevicePath exists
    bool Present = false;     // the tty is listed among the serial ports (it has a driver)
    std::string Driver;       // "ftdi_sio", "cdc_acm", "serial8250", ...
    std::string VendorId;     // USB only: "0403"
    std::string ProductId;    // USB only: "6001"
    std::string Manufacturer; // USB only, as the adapter reports it
    std::string Product;
    std::string SerialNumber;
    std::vector<std::string> ById; // <dev>/serial/by-id links to the tty, sorted
};

TPortFacts ReadPortFacts(
    const std::string& Port, const std::string& SysRoot = "/sys/class/tty", const std::string& DevRoot = "/dev");

// The facts as lines of a tool tip (UTF-8 text).
std::string PortHint(const TPortFacts& Facts);
