vorlix_library(vorlix_instrument_link instrument
  SOURCES errors.cpp transport.cpp tcp.cpp serial.cpp serial_speed.cpp shell.cpp
  LIBS vorlix_base vorlix_config Threads::Threads)
