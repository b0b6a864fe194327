#include "app/services/ports.hpp"

#include <libserialport.h>

#include <cerrno>

namespace vorlix::app {
namespace {

std::optional<std::string> text_or_none(const char* text) {
    if (text == nullptr) return std::nullopt;
    return std::string(text);
}

PortError library_error(sp_return code) {
    switch (code) {
        case SP_ERR_FAIL: {
            PortError error = PortError::from_errno(sp_last_error_code());
            char* message = sp_last_error_message();
            if (message != nullptr) {
                error = PortError(error.kind(), error.io_kind(), message);
                sp_free_error_message(message);
            }
            return error;
        }
        case SP_ERR_MEM:
            return PortError{instrument::SerialErrorKind::Io, base::IoErrorKind::OutOfMemory,
                             "out of memory while listing serial ports"};
        case SP_ERR_SUPP:
            return PortError{instrument::SerialErrorKind::Unknown, base::IoErrorKind::Other,
                             "serial port enumeration is not supported on this system"};
        case SP_ERR_ARG:
        default:
            return PortError{instrument::SerialErrorKind::InvalidInput, base::IoErrorKind::InvalidInput,
                             "invalid argument to the serial port enumeration"};
    }
}

PortEntry describe(sp_port* port) {
    PortEntry entry;
    // A device whose name cannot be read is still listed, nameless.
    if (const char* name = sp_get_port_name(port)) entry.name = name;
    switch (sp_get_port_transport(port)) {
        case SP_TRANSPORT_USB: {
            entry.kind = PortKind::Usb;
            UsbPortInfo usb;
            int vid = 0;
            int pid = 0;
            if (sp_get_port_usb_vid_pid(port, &vid, &pid) == SP_OK) {
                usb.vid = static_cast<std::uint16_t>(vid);
                usb.pid = static_cast<std::uint16_t>(pid);
            }
            usb.serial_number = text_or_none(sp_get_port_usb_serial(port));
            usb.manufacturer = text_or_none(sp_get_port_usb_manufacturer(port));
            usb.product = text_or_none(sp_get_port_usb_product(port));
            entry.usb = std::move(usb);
            break;
        }
        case SP_TRANSPORT_BLUETOOTH: entry.kind = PortKind::Bluetooth; break;
        case SP_TRANSPORT_NATIVE:
        default: entry.kind = PortKind::Unknown; break;
    }
    return entry;
}

}  // namespace

std::expected<PortList, PortError> list_serial_ports() {
    sp_port** ports = nullptr;
    sp_return result = sp_list_ports(&ports);
    if (result != SP_OK) {
        // The library frees its partial list and clears the pointer on
        // failure; freeing again here only guards against a library that
        // does not.
        if (ports != nullptr) sp_free_port_list(ports);
        return std::unexpected(library_error(result));
    }
    PortList list;
    for (sp_port** p = ports; p != nullptr && *p != nullptr; ++p) list.push_back(describe(*p));
    sp_free_port_list(ports);
    return list;
}

PortList tcp_port_list(const config::ConnectionConfig& connection) {
    return PortList{PortEntry{"tcp://" + connection.tcp_address, PortKind::Unknown, std::nullopt}};
}

std::expected<PortList, PortError> build_port_list(const config::Config& config, PortUse use,
                                                   const PortEnumerator& enumerate) {
    if (use == PortUse::Viewer) return PortList{};
    if (config.connection.backend == config::Backend::Tcp) return tcp_port_list(config.connection);
    return enumerate ? enumerate() : list_serial_ports();
}

}  // namespace vorlix::app
