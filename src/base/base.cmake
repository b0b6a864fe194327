vorlix_library(vorlix_base_log base SOURCES log.cpp LIBS Threads::Threads)
