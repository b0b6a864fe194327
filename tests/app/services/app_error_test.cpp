#include "app/services/app_error.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>

namespace vorlix::app {
namespace {

using base::IoError;
using base::IoErrorKind;

struct FormCase {
    const char* name;
    AppError error;
    std::string display;
    std::string debug;
    std::optional<std::string> source;  // the cause's display text
};

void PrintTo(const FormCase& c, std::ostream* os) { *os << c.name; }

const IoError TIMED_OUT = IoError::custom(IoErrorKind::TimedOut, "connection timed out");

class AppErrorForms : public testing::TestWithParam<FormCase> {};

TEST_P(AppErrorForms, DisplayDebugAndSource) {
    const FormCase& c = GetParam();
    EXPECT_EQ(c.error.display(), c.display);
    EXPECT_EQ(c.error.debug(), c.debug);
    auto source = c.error.source();
    ASSERT_EQ(source.has_value(), c.source.has_value());
    if (source) {
        EXPECT_EQ(source->display(), *c.source);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AppError, AppErrorForms,
    testing::Values(
        FormCase{"usage", AppError::Usage{"usage: vorlix [--live | --view SCAN.csv | SCAN.csv]"},
                 "usage: vorlix [--live | --view SCAN.csv | SCAN.csv]",
                 "Usage(\"usage: vorlix [--live | --view SCAN.csv | SCAN.csv]\")", std::nullopt},
        FormCase{"config_validation",
                 AppError::Config{config::ConfigError::Validation{"baudrate must be in serial.baudrates"}},
                 "invalid configuration: baudrate must be in serial.baudrates",
                 "Config(Validation(\"baudrate must be in serial.baudrates\"))", std::nullopt},
        FormCase{"config_io_passes_its_cause",
                 AppError::Config{config::ConfigError::Io{IoError::from_errno(EACCES)}},
                 "configuration I/O: Permission denied (os error 13)",
                 "Config(Io(Os { code: 13, kind: PermissionDenied, message: \"Permission denied\" }))",
                 "Permission denied (os error 13)"},
        FormCase{"port",
                 AppError::Port{PortError{instrument::SerialErrorKind::Unknown, IoErrorKind::Other,
                                          "Unable to determine number of Ports GUIDs"}},
                 "serial connection: Unable to determine number of Ports GUIDs",
                 "Port(SerialError { kind: Unknown, description: \"Unable to determine number of "
                 "Ports GUIDs\" })",
                 "Unable to determine number of Ports GUIDs"},
        FormCase{"connection_is_transparent",
                 AppError::Connection{instrument::OpenError::Tcp{IoError::from_errno(ECONNREFUSED)}},
                 "TCP connection: Connection refused (os error 111)",
                 "Connection(Tcp(Os { code: 111, kind: ConnectionRefused, message: \"Connection "
                 "refused\" }))",
                 "Connection refused (os error 111)"},
        FormCase{"io", AppError::Io{IoError::from_errno(EIO)}, "I/O: Input/output error (os error 5)",
                 "Io(Os { code: 5, kind: Uncategorized, message: \"Input/output error\" })",
                 "Input/output error (os error 5)"},
        FormCase{"csv_record_form", AppError::Csv{"scans/missing.csv", IoError::from_errno(ENOENT)},
                 "cannot load CSV scans/missing.csv: No such file or directory (os error 2)",
                 "Csv { path: \"scans/missing.csv\", source: Os { code: 2, kind: NotFound, message: "
                 "\"No such file or directory\" } }",
                 "No such file or directory (os error 2)"},
        FormCase{"csv_path_not_text",
                 AppError::Csv{"a\"\xff.csv", IoError::custom(IoErrorKind::InvalidData,
                                                              "invalid scan CSV: file contains no samples")},
                 "cannot load CSV a\"\xef\xbf\xbd.csv: invalid scan CSV: file contains no samples",
                 "Csv { path: \"a\\\"\\xFF.csv\", source: Custom { kind: InvalidData, error: "
                 "\"invalid scan CSV: file contains no samples\" } }",
                 "invalid scan CSV: file contains no samples"},
        FormCase{"acquisition_adds_nothing",
                 AppError::Acquisition{instrument::TransportError(instrument::TransportError::Io{TIMED_OUT})},
                 "serial transport: connection timed out",
                 "Acquisition(Transport(Io(Custom { kind: TimedOut, error: \"connection timed out\" })))",
                 "connection timed out"},
        FormCase{"live", AppError::Live{"a live sweep cannot be empty"},
                 "live capture: a live sweep cannot be empty", "Live(\"a live sweep cannot be empty\")",
                 std::nullopt},
        FormCase{"logger", AppError::Logger{LoggerError::Parse{"unknown level filter: loud"}},
                 "logging: invalid log specification: unknown level filter: loud",
                 "Logger(Parse(\"unknown level filter: loud\"))",
                 "invalid log specification: unknown level filter: loud"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(AppErrorTerminal, CarriesTheMessageAndWhereItArose) {
    const std::uint32_t line = __LINE__ + 1;
    AppError error = AppError::Terminal{ErrorReport("waiting for input failed")};
    EXPECT_EQ(error.display(), "terminal: waiting for input failed");
    const auto* terminal = error.get_if<AppError::Terminal>();
    ASSERT_NE(terminal, nullptr);
    EXPECT_EQ(terminal->report.line(), line);
    EXPECT_TRUE(terminal->report.file().ends_with("app_error_test.cpp")) << terminal->report.file();
    EXPECT_EQ(error.debug(), "Terminal(waiting for input failed\n\nLocation:\n   " + terminal->report.file() +
                                 ":" + std::to_string(line) + ")");
    auto source = error.source();
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->display(), "waiting for input failed");
}

}  // namespace
}  // namespace vorlix::app
