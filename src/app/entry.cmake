# The event loop with its key handling and worker start; it draws through
# a frame sink and reads keys from an event source, so it runs in tests
# without a terminal.
vorlix_library(vorlix_app_loop app SOURCES confirm.cpp keys_dispatch.cpp event_loop.cpp
               LIBS vorlix_app_screens vorlix_app_ui_state vorlix_app_error vorlix_app_write_back
                    vorlix_workers_run vorlix_workers_shared vorlix_scan_csv_writer vorlix_config_core vorlix_tui_core
                    fmt::fmt)
# The program's whole run, from the command line to the shut-down.
vorlix_library(vorlix_app_entry app SOURCES entry.cpp
               LIBS vorlix_app_loop vorlix_app_cli vorlix_app_terminal vorlix_app_logger
                    vorlix_app_ports vorlix_app_error vorlix_scan_csv_reader vorlix_config_core)
