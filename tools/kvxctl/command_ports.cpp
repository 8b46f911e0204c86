// kvxctl ports: the serial ports present, with their stable names and makers.
#include "_conn/serial_connection.h"
#include "command.h"
#include "console_view.h"
#include "exit_codes.h"
#include "port_list.h"

namespace {

std::string OrDash(const std::string& S)
{
    return S.empty() ? "-" : TerminalText(S, true);
}

TJson OrNull(const std::string& S)
{
    return S.empty() ? TJson() : TJson::Utf8(S);
}

int Run(const TOptions& O)
{
    const std::vector<TPortFacts> Ports = ListPorts();
    if (Ports.empty())
        Reporter().Note("no serial port is present");
    PrintOut(O.Json ? PortsJson(Ports).Dump() : PortsText(Ports));
    return ecDone;
}

} // namespace

std::vector<TPortFacts> ListPorts(const std::string& SysRoot, const std::string& DevRoot)
{
    std::vector<TPortFacts> Ports;
    for (const std::string& Name : TConnCOM::EnumerateDevices(false, SysRoot, DevRoot))
        Ports.push_back(ReadPortFacts(Name, SysRoot, DevRoot));
    return Ports;
}

std::string PortsText(const std::vector<TPortFacts>& Ports)
{
    std::string T;
    for (const TPortFacts& P : Ports) {
        std::string ById;
        for (const std::string& L : P.ById)
            ById += (ById.empty() ? "" : ",") + L;
        T += OrDash(P.Name) + "\t" + OrDash(ById) + "\t" + OrDash(P.Manufacturer) + "\t" + OrDash(P.Product) + "\t"
            + OrDash(P.SerialNumber) + "\n";
    }
    return T;
}

TJson PortsJson(const std::vector<TPortFacts>& Ports)
{
    TJson List = TJson::Array();
    for (const TPortFacts& P : Ports) {
        TJson ById = TJson::Array();
        for (const std::string& L : P.ById)
            ById.Add(TJson::Utf8(L));
        TJson J = TJson::Object();
        J.Set("name", TJson::Utf8(P.Name));
        J.Set("path", TJson::Utf8(P.DevicePath));
        J.Set("by_id", ById);
        J.Set("manufacturer", OrNull(P.Manufacturer));
        J.Set("product", OrNull(P.Product));
        J.Set("serial", OrNull(P.SerialNumber));
        J.Set("vendor_id", OrNull(P.VendorId));
        J.Set("product_id", OrNull(P.ProductId));
        J.Set("driver", OrNull(P.Driver));
        List.Add(J);
    }
    TJson J = TJson::Object();
    J.Set("schema", TJson::Int(1));
    J.Set("ports", List);
    return J;
}

extern const TCommand PortsCommand = {"ports", "ports", "list the serial ports with their by-id names and makers",
    "Prints every serial port present, one a line: its name (for --port), its\n"
    "stable links under /dev/serial/by-id, and for a USB adapter its maker,\n"
    "product and serial number, separated by tabs (- for what is not known).\n"
    "The by-id link names the same adapter whichever ttyUSB number it gets.",
    {}, 0, 0, "", false, Run};
