#pragma once
// A sysfs-like tty tree and a /dev folder in a temporary folder, linked the
// way the kernel and udev link them.

#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <string>

class TTtyTree {
public:
    TTtyTree()
    {
        Root = Dir.Path().string();
        Sys = Root + "/sys/class/tty";
        Dev = Root + "/dev";
        std::filesystem::create_directories(Sys);
        std::filesystem::create_directories(Dev + "/serial/by-id");
    }

    // A USB serial adapter: the USB device with its ids and strings, its
    // interface, the usb-serial port device with its driver, and the tty.
    void AddUsb(const std::string& Name, const std::string& Driver, const std::string& Vendor,
        const std::string& ProductId, const std::string& Maker, const std::string& Product, const std::string& Serial,
        const std::string& ById)
    {
        namespace fs = std::filesystem;
        const fs::path usb = fs::path(Root) / "sys/devices/pci0000:00/usb1" / ("1-" + std::to_string(++FUsb));
        const fs::path port = usb / (usb.filename().string() + ":1.0") / Name;
        Write(usb / "idVendor", Vendor);
        Write(usb / "idProduct", ProductId);
        Write(usb / "manufacturer", Maker);
        Write(usb / "product", Product);
        Write(usb / "serial", Serial);
        AddTty(Name, port, Driver);
        if (!ById.empty())
            fs::create_symlink("../../" + Name, Dev + "/serial/by-id/" + ById);
    }

    // An on-board UART.
    void AddUart(const std::string& Name)
    {
        AddTty(Name, std::filesystem::path(Root) / "sys/devices/platform/serial8250", "serial8250");
        Write(std::filesystem::path(Sys) / Name / "type", "4");
    }

    static void Write(const std::filesystem::path& File, const std::string& Text)
    {
        std::filesystem::create_directories(File.parent_path());
        std::ofstream(File, std::ios::binary) << Text << "\n";
    }

    TTempDir Dir {"kvx-tty"};
    std::string Root, Sys, Dev;

private:
    void AddTty(const std::string& Name, const std::filesystem::path& Device, const std::string& Driver)
    {
        namespace fs = std::filesystem;
        const fs::path driver = fs::path(Root) / "sys/bus/drivers" / Driver;
        fs::create_directories(driver);
        fs::create_directories(Device);
        if (!fs::exists(fs::symlink_status(Device / "driver")))
            fs::create_symlink(driver, Device / "driver");
        const fs::path tty = Device / "tty" / Name;
        fs::create_directories(tty);
        fs::create_directory_symlink(Device, tty / "device");
        fs::create_directory_symlink(tty, fs::path(Sys) / Name);
        Write(fs::path(Dev) / Name, "");
    }
    int FUsb = 0;
};
