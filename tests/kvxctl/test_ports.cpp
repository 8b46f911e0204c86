// kvxctl ports over a fixture tty tree: every serial port with its by-id
// link and its USB maker, product and serial number.
#include "port_list.h"
#include "support/tty_tree.h"

#include <gtest/gtest.h>

namespace {

bool Has(const std::string& Text, const std::string& Part)
{
    return Text.find(Part) != std::string::npos;
}

TEST(KvxctlPorts, EveryPortWithItsFacts)
{
    TTtyTree Tree;
    Tree.AddUsb("ttyUSB0", "ftdi_sio", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
        "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    Tree.AddUart("ttyS0");
    const std::string Link = Tree.Dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    const std::vector<TPortFacts> Ports = ListPorts(Tree.Sys, Tree.Dev);

    EXPECT_EQ(PortsText(Ports), "ttyS0\t-\t-\t-\t-\nttyUSB0\t" + Link + "\tFTDI\tFT232R USB UART\tA50285BI\n");

    const std::string J = PortsJson(Ports).Dump();
    for (const std::string& Part : std::vector<std::string> {
             std::string("\"schema\": 1,\n  \"ports\": [\n"),
             "\"name\": \"ttyS0\",\n      \"path\": \"" + Tree.Dev
                 + "/ttyS0\",\n      \"by_id\": [],\n"
                   "      \"manufacturer\": null,",
             "\"driver\": \"serial8250\"",
             "\"by_id\": [\n        \"" + Link
                 + "\"\n      ],\n      \"manufacturer\": \"FTDI\",\n      \"product\": \"FT232R USB UART\",\n"
                   "      \"serial\": \"A50285BI\",\n      \"vendor_id\": \"0403\",\n      \"product_id\": \"6001\",\n"
                   "      \"driver\": \"ftdi_sio\"",
         })
        EXPECT_TRUE(Has(J, Part)) << Part << "\n" << J;
    EXPECT_EQ(PortsText(ListPorts(Tree.Root + "/none", Tree.Dev)), "");
}

} // namespace
