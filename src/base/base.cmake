vorlix_library(vorlix_base_log base SOURCES log.cpp io_error.cpp LIBS Threads::Threads)
vorlix_library(vorlix_base_text base SOURCES text.cpp)
vorlix_library(vorlix_base_files base SOURCES file_io.cpp new_file.cpp LIBS vorlix_base_log)
