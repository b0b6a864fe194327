# Shared records and live traces: no instrument I/O, so the user interface
# links them without the link layer.
vorlix_library(vorlix_workers_shared workers SOURCES shared.cpp traces.cpp
               LIBS vorlix_base fmt::fmt Threads::Threads)

# The two workers and their start helpers.
vorlix_library(vorlix_workers_run workers
               SOURCES setup.cpp acquisition.cpp live.cpp start.cpp
               LIBS vorlix_workers_shared vorlix_scan_csv_writer vorlix_instrument vorlix_config
                    vorlix_base fmt::fmt Threads::Threads)
