#include "dialogue/device_factory.h"

#include "_conn/port_connection.h"
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
        const auto Device = NewEncoderDevice(C.Port);
        ASSERT_NE(Device->Conn(), nullptr);
        const auto* Tcp = dynamic_cast<const TConnTCP*>(Device->Conn());
        const auto* Com = dynamic_cast<const TConnCOM*>(Device->Conn());
        ASSERT_EQ(Tcp != nullptr, C.Tcp);
        ASSERT_EQ(Com != nullptr, !C.Tcp);
        EXPECT_EQ(Tcp ? Tcp->Port() : Com->Port(), C.Port);
    }
}

// A connection made for one port name is kept for a name of the same kind
// and replaced for the other kind.
TEST(DeviceFactory, AConnectionFitsThePortNamesOfItsKind)
{
    const std::string Serial[] = {"ttyUSB0", "/dev/pts/7"};
    const std::string Tcp[] = {"tcp://127.0.0.1:4001", "tcp://[::1]:4001"};
    for (const std::string& Made : {Serial[0], Tcp[0]}) {
        const auto Device = NewEncoderDevice(Made);
        const bool MadeTcp = Made == Tcp[0];
        for (const std::string& Port : Serial)
            EXPECT_EQ(ConnectionFitsPort(Device->Conn(), Port), !MadeTcp) << Made << " for " << Port;
        for (const std::string& Port : Tcp)
            EXPECT_EQ(ConnectionFitsPort(Device->Conn(), Port), MadeTcp) << Made << " for " << Port;
    }
    EXPECT_FALSE(ConnectionFitsPort(nullptr, Serial[0]));
}
