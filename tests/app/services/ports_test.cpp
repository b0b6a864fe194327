#include "app/services/ports.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlix::app {
namespace {

using config::Backend;

std::vector<std::string> names(const PortList& list) {
    std::vector<std::string> out;
    for (const auto& entry : list) out.push_back(entry.name);
    return out;
}

struct PortCase {
    const char* name;
    Backend backend;
    PortUse use;
    std::vector<std::string> expected;
    bool enumerates;
};

void PrintTo(const PortCase& c, std::ostream* os) { *os << c.name; }

class PortListTable : public testing::TestWithParam<PortCase> {};

TEST_P(PortListTable, OffersTheEntriesOfTheBackendAndMode) {
    const PortCase& c = GetParam();
    config::Config config;
    config.connection.backend = c.backend;
    config.connection.tcp_address = "127.0.0.1:7355";
    int calls = 0;
    const UsbPortInfo usb{
        .vid = 0x0483, .pid = 0x5740, .serial_number = "400", .manufacturer = {}, .product = {}};
    PortEnumerator enumerate = [&calls, usb]() -> std::expected<PortList, PortError> {
        ++calls;
        // Discovery order, a duplicate included: both stay as reported.
        return PortList{{"/dev/ttyUSB1", PortKind::Usb, usb},
                        {"/dev/ttyACM0", PortKind::Unknown, std::nullopt},
                        {"/dev/ttyUSB1", PortKind::Usb, usb}};
    };
    auto list = build_port_list(config, c.use, enumerate);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(names(*list), c.expected);
    EXPECT_EQ(calls, c.enumerates ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, PortListTable,
    testing::Values(PortCase{"tcp", Backend::Tcp, PortUse::Instrument, {"tcp://127.0.0.1:7355"}, false},
                    PortCase{"serial_in_discovery_order",
                             Backend::Serial,
                             PortUse::Instrument,
                             {"/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyUSB1"},
                             true},
                    PortCase{"viewer_tcp", Backend::Tcp, PortUse::Viewer, {}, false},
                    PortCase{"viewer_serial", Backend::Serial, PortUse::Viewer, {}, false}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(PortList, TcpEntryKeepsTheAddressAsConfigured) {
    config::ConnectionConfig connection;
    connection.tcp_address = "localhost:9 ";
    PortList list = tcp_port_list(connection);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], (PortEntry{"tcp://localhost:9 ", PortKind::Unknown, std::nullopt}));
}

TEST(PortList, AFailedEnumerationIsReturnedAsItCame) {
    config::Config config;
    config.connection.backend = Backend::Serial;
    PortError failure{instrument::SerialErrorKind::Io, base::IoErrorKind::PermissionDenied,
                      "Permission denied"};
    auto list = build_port_list(config, PortUse::Instrument, [&]() -> std::expected<PortList, PortError> {
        return std::unexpected(failure);
    });
    ASSERT_FALSE(list.has_value());
    EXPECT_EQ(list.error(), failure);
}

TEST(PortList, TheMachineEnumerationAnswers) {
    // The machine may have no serial port at all; the enumeration must still
    // succeed, and every USB entry carries its identifiers.
    auto list = list_serial_ports();
    ASSERT_TRUE(list.has_value()) << list.error().debug();
    for (const auto& entry : *list) EXPECT_EQ(entry.usb.has_value(), entry.kind == PortKind::Usb);
}

}  // namespace
}  // namespace vorlix::app
