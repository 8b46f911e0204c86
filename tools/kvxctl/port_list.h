#pragma once
// kvxctl ports: every serial port with what the system knows of it.

#include "_conn/port_facts.h"
#include "json.h"

#include <string>
#include <vector>

// The serial ports present (as the window lists them), each with its facts.
std::vector<TPortFacts> ListPorts(const std::string& SysRoot = "/sys/class/tty", const std::string& DevRoot = "/dev");

// One line a port, fields separated by tabs: the name, its by-id links
// (comma-separated), the USB maker, product and serial number; "-" for what
// is unknown.
std::string PortsText(const std::vector<TPortFacts>& Ports);
// {"schema": 1, "ports": [{"name", "path", "by_id": [...], "manufacturer",
// "product", "serial", "vendor_id", "product_id", "driver"}, ...]}, unknown
// facts null.
TJson PortsJson(const std::vector<TPortFacts>& Ports);
