#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "_conn/port_facts.h"
#include "support/tty_tree.h"

namespace {

using Strings = std::vector<std::string>;

TEST(PortFacts, UsbAdapterByNameAndByItsStableLink)
{
    TTtyTree tree;
    tree.AddUsb("ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
        "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    tree.AddUsb("ttyUSB1", "cp210x", "10c4", "ea60", "Silicon Labs", "CP2102", "0001",
        "usb-Silicon_Labs_CP2102_0001-if00-port0");
    const std::string link = tree.Dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

    for (const std::string& port : {std::string("ttyUSB0"), link}) {
        SCOPED_TRACE(port);
        const TPortFacts f = ReadPortFacts(port, tree.Sys, tree.Dev);
        EXPECT_EQ(f.Name, "ttyUSB0");
        EXPECT_TRUE(f.Present);
        EXPECT_EQ(f.Driver, "ftdi_sio");
        EXPECT_EQ(f.VendorId + ":" + f.ProductId, "0403:6001");
        EXPECT_EQ(f.Manufacturer, "FTDI");
        EXPECT_EQ(f.Product, "FT232R USB UART");
        EXPECT_EQ(f.SerialNumber, "A50285BI");
        EXPECT_EQ(f.ById, Strings {link}); // not the other adapter's link
    }

    EXPECT_EQ(PortHint(ReadPortFacts("ttyUSB0", tree.Sys, tree.Dev)),
        tree.Dev
            + "/ttyUSB0\nMaker: FTDI\nProduct: FT232R USB UART\nSerial number: A50285BI\n"
              "USB ID: 0403:6001\nDriver: ftdi_sio\n"
            + link);
    // A typed link says where it leads.
    EXPECT_NE(PortHint(ReadPortFacts(link, tree.Sys, tree.Dev)).find("\nLeads to: " + tree.Dev + "/ttyUSB0\n"),
        std::string::npos);
}

TEST(PortFacts, UartAbsentAndHostilePorts)
{
    TTtyTree tree;
    tree.AddUart("ttyS0");
    std::filesystem::create_directories(tree.Sys + "/tty1"); // a console: no driver
    tree.Write(tree.Root + "/outside", "");

    const TPortFacts uart = ReadPortFacts("ttyS0", tree.Sys, tree.Dev);
    EXPECT_TRUE(uart.Present);
    EXPECT_EQ(uart.Driver, "serial8250");
    EXPECT_TRUE(uart.Manufacturer.empty() && uart.VendorId.empty() && uart.ById.empty());
    EXPECT_EQ(PortHint(uart), tree.Dev + "/ttyS0\nDriver: serial8250");

    struct Case {
        std::string Port;
        std::string Hint;
    };
    const Case cases[] = {
        {"ttyUSB7", tree.Dev + "/ttyUSB7\nNot present"},
        {"tty1", tree.Dev + "/tty1\nNot present"},
        {tree.Dev + "/serial/by-id/usb-gone-if00-port0", tree.Dev + "/serial/by-id/usb-gone-if00-port0\nNot present"},
        // Names that would leave the trees are not looked up.
        {"../../outside", "../../outside\nNot present"},
        {"..", "..\nNot present"},
        {tree.Root + "/outside", tree.Root + "/outside\nNot listed among the serial ports"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Port);
        const TPortFacts f = ReadPortFacts(c.Port, tree.Sys, tree.Dev);
        EXPECT_FALSE(f.Present);
        EXPECT_EQ(PortHint(f), c.Hint);
    }
}

TEST(PortFacts, AdapterStringsAreCleanedAndBounded)
{
    TTtyTree tree;
    tree.AddUsb("ttyACM0", "cdc_acm", "2341", "0043", std::string(5000, 'M'), "Bad\x01\x1b[31mName\t ", "  S1  ", "");
    const TPortFacts f = ReadPortFacts("ttyACM0", tree.Sys, tree.Dev);
    EXPECT_EQ(f.Manufacturer, std::string(256, 'M'));
    EXPECT_EQ(f.Product, "Bad[31mName");
    EXPECT_EQ(f.SerialNumber, "S1");
    EXPECT_TRUE(f.ById.empty());
}

} // namespace
