# Shared records and live traces: no instrument I/O, so the user interface
# links them without the link layer.
vorlix_library(vorlix_workers_shared workers SOURCES shared.cpp traces.cpp
               LIBS vorlix_base fmt::fmt Threads::Threads)
