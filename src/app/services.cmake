# Services of the program's entry and event loop: the log file, the port
# list, the configuration write-back and the program's error.
vorlix_library(vorlix_app_logger app SOURCES logger.cpp
               LIBS vorlix_base vorlix_config_core spdlog::spdlog fmt::fmt Threads::Threads)
vorlix_library(vorlix_app_ports app SOURCES ports.cpp
               LIBS vorlix_base vorlix_instrument_link PkgConfig::SERIALPORT)
vorlix_library(vorlix_app_write_back app SOURCES write_back.cpp LIBS vorlix_base vorlix_config_core)
vorlix_library(vorlix_app_error app SOURCES app_error.cpp
               LIBS vorlix_base vorlix_config_core vorlix_instrument_link vorlix_app_logger
                    vorlix_app_ports)
