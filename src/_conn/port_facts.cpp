#include "_conn/port_facts.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, without control characters, trimmed;
// empty when it cannot be read. Attributes are short: at most 256 bytes.
std::string ReadAttr(const fs::path& File)
{
    std::ifstream in(File, std::ios::binary);
    if (!in)
        return {};
    char buf[256];
    in.read(buf, sizeof buf);
    std::string s(buf, static_cast<std::size_t>(in.gcount()));
    s = s.substr(0, s.find('\n'));
    std::erase_if(s, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    const auto b = s.find_first_not_of(' ');
    const auto e = s.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool SamePath(const fs::path& A, const fs::path& B)
{
    if (A.lexically_normal() == B.lexically_normal())
        return true;
    std::error_code e1, e2;
    const fs::path ca = fs::weakly_canonical(A, e1);
    const fs::path cb = fs::weakly_canonical(B, e2);
    return !e1 && !e2 && ca == cb;
}

// Where the link File points, as a path from the folder holding it.
fs::path LinkTarget(const fs::path& File)
{
    std::error_code ec;
    fs::path t = fs::read_symlink(File, ec);
    if (ec)
        return {};
    return t.is_absolute() ? t : File.parent_path() / t;
}

void ReadUsbFacts(TPortFacts& F, const fs::path& Device)
{
    // The tty hangs below the USB interface, which hangs below the USB device
    // that holds the ids and strings.
    std::error_code ec;
    fs::path dir = fs::canonical(Device, ec);
    if (ec)
        return;
    for (int level = 0; level < 8 && dir.has_relative_path(); ++level, dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        F.VendorId = ReadAttr(dir / "idVendor");
        F.ProductId = ReadAttr(dir / "idProduct");
        F.Manufacturer = ReadAttr(dir / "manufacturer");
        F.Product = ReadAttr(dir / "product");
        F.SerialNumber = ReadAttr(dir / "serial");
        return;
    }
}

} // namespace

TPortFacts ReadPortFacts(const std::string& Port, const std::string& SysRoot, const std::string& DevRoot)
{
    TPortFacts F;
    F.Port = Port;
    if (Port.empty())
        return F;
    std::error_code ec;
    if (Port.front() == '/') {
        // A path: the tty it leads to, when that is a device of DevRoot.
        F.DevicePath = Port;
        const fs::path target = fs::weakly_canonical(Port, ec);
        const fs::path dev = fs::weakly_canonical(DevRoot, ec);
        if (!target.empty() && target.parent_path() == dev)
            F.Name = target.filename().string();
        if (!F.Name.empty())
            F.LinkedPath = DevRoot + "/" + F.Name;
    } else if (Port.find('/') == std::string::npos && Port != "." && Port != "..") {
        F.Name = Port;
        F.DevicePath = DevRoot + "/" + Port;
        F.LinkedPath = F.DevicePath;
    } else {
        F.DevicePath = Port; // not a name a tty can have: nothing is looked up
        return F;
    }
    F.Exists = fs::exists(F.DevicePath, ec);
    if (F.Name.empty())
        return F;

    // Listed as the port enumeration lists ports: a tty with a driver behind it.
    const fs::path tty = fs::path(SysRoot) / F.Name;
    F.Present = fs::exists(tty / "device" / "driver", ec);
    if (!F.Present)
        return F;
    const fs::path driver = fs::canonical(tty / "device" / "driver", ec);
    if (!ec)
        F.Driver = driver.filename().string();
    ReadUsbFacts(F, tty / "device");

    const fs::path devPath = fs::path(DevRoot) / F.Name;
    for (fs::directory_iterator it(fs::path(DevRoot) / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path target = LinkTarget(it->path());
        if (!target.empty() && SamePath(target, devPath))
            F.ById.push_back(it->path().string());
    }
    std::sort(F.ById.begin(), F.ById.end());
    return F;
}

std::string PortHint(const TPortFacts& F)
{
    if (F.DevicePath.empty())
        return {};
    std::string h = F.DevicePath;
    auto line = [&h](const std::string& Label, const std::string& Value) {
        if (!Value.empty())
            h += "\n" + Label + Value;
    };
    if (!F.Present) {
        h += F.Exists ? "\nNot listed among the serial ports" : "\nNot present";
        return h;
    }
    if (F.DevicePath != F.LinkedPath)
        line("Leads to: ", F.LinkedPath);
    line("Maker: ", F.Manufacturer);
    line("Product: ", F.Product);
    line("Serial number: ", F.SerialNumber);
    if (!F.VendorId.empty())
        line("USB ID: ", F.VendorId + ":" + F.ProductId);
    line("Driver: ", F.Driver);
    for (const std::string& link : F.ById)
        line("", link);
    return h;
}
