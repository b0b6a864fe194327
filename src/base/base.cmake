vorlix_library(vorlix_base_log base SOURCES log.cpp io_error.cpp LIBS Threads::Threads)
vorlix_library(vorlix_base_text base SOURCES text.cpp)
vorlix_library(vorlix_base_stream_text base SOURCES stream_text.cpp)
