vorlix_library(vorlix_instrument_link instrument
  SOURCES errors.cpp
  LIBS vorlix_base vorlix_config Threads::Threads)
