vorlix_library(vorlix_base_log base SOURCES log.cpp io_error.cpp LIBS Threads::Threads)
