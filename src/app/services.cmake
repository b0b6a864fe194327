# Services of the program's entry and event loop: the log file, the port
# list, the configuration write-back and the program's error.
# The log filter's text expressions: RE2 matches in linear time without
# recursion, whatever the length of a record.
pkg_check_modules(RE2 REQUIRED IMPORTED_TARGET GLOBAL re2)
vorlix_library(vorlix_app_logger app SOURCES logger.cpp
               LIBS vorlix_base vorlix_config_core spdlog::spdlog fmt::fmt PkgConfig::RE2
                    Threads::Threads)
vorlix_library(vorlix_app_ports app SOURCES ports.cpp
               LIBS vorlix_base vorlix_instrument_link PkgConfig::SERIALPORT)
vorlix_library(vorlix_app_write_back app SOURCES write_back.cpp LIBS vorlix_base vorlix_config_core)
vorlix_library(vorlix_app_error app SOURCES app_error.cpp
               LIBS vorlix_base vorlix_config_core vorlix_instrument_link vorlix_app_logger
                    vorlix_app_ports)
