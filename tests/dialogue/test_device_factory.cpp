#include "dialogue/device_factory.h"

#include "_conn/serial_connection.h"
#include "_conn/tcp_connection.h"

#include <gtest/gtest.h>

#include <string>

TEST(DeviceFactory, TheConnectionFollowsThePortName)
{
    const struct {
        std::string Port;
        bool Tcp;
    } Cases[] = {
        {"ttyUSB0", false},
        {"/dev/pts/7", false},
        {"tcp://127.0.0.1:4001", true},
        {"tcp://[::1]:4001", true},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Port);
        std::string Error = "unset";
        const auto Device = NewEncoderDevice(C.Port, &Error);
        EXPECT_EQ(Error, "");
        ASSERT_NE(Device->Conn(), nullptr);
        const auto* Tcp = dynamic_cast<const TConnTCP*>(Device->Conn());
        const auto* Com = dynamic_cast<const TConnCOM*>(Device->Conn());
        ASSERT_EQ(Tcp != nullptr, C.Tcp);
        ASSERT_EQ(Com != nullptr, !C.Tcp);
        EXPECT_EQ(Tcp ? Tcp->Port() : Com->Port(), C.Port);
    }
}
