#pragma once
// The ports the "COM Ports" menu offers. With the TCP backend the one entry
// is the configured bridge address; with the serial backend the machine's
// ports in the order the serial-port library reports them (neither sorted
// nor de-duplicated). The viewer never lists ports.

#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/record.hpp"
#include "instrument/errors.hpp"

namespace vorlix::app {

enum class PortKind : std::uint8_t { Unknown, Usb, Pci, Bluetooth };

struct UsbPortInfo {
    std::uint16_t vid = 0;
    std::uint16_t pid = 0;
    std::optional<std::string> serial_number;
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    bool operator==(const UsbPortInfo&) const = default;
};

// A port as found. Only the name matters to the program; the kind is kept as
// the library reported it.
struct PortEntry {
    std::string name;
    PortKind kind = PortKind::Unknown;
    std::optional<UsbPortInfo> usb;  // set for PortKind::Usb
    bool operator==(const PortEntry&) const = default;
};

// A failed enumeration: the serial layer's error (a kind and the library's
// description), the same type a failed port open reports.
using PortError = instrument::SerialError;

using PortList = std::vector<PortEntry>;
using PortEnumerator = std::function<std::expected<PortList, PortError>()>;

// Scan and live runs offer ports; the viewer never touches a device.
enum class PortUse : std::uint8_t { Instrument, Viewer };

// The machine's serial ports through libserialport.
std::expected<PortList, PortError> list_serial_ports();

// The single entry "tcp://{address}", the address exactly as configured.
PortList tcp_port_list(const config::ConnectionConfig& connection);

// The list for a run: empty for the viewer, the TCP entry for the TCP
// backend (nothing is enumerated), else `enumerate` (list_serial_ports
// when not given). A failed enumeration is returned as it came.
std::expected<PortList, PortError> build_port_list(const config::Config& config, PortUse use,
                                                   const PortEnumerator& enumerate = {});

}  // namespace vorlix::app
