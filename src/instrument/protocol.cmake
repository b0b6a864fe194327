vorlix_library(vorlix_instrument_protocol instrument
  SOURCES identify.cpp profile.cpp sweep_setup_parse.cpp sweep_setup.cpp
          scanraw_decode.cpp scanraw_read.cpp
  LIBS vorlix_instrument_link vorlix_config vorlix_base)
