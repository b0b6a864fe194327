vorlix_library(vorlix_config_core config
  SOURCES error.cpp toml_value.cpp toml_bounds.cpp typed_read.cpp merge.cpp load.cpp
          socket_address.cpp validate.cpp serialize.cpp
  LIBS vorlix_base tomlplusplus::tomlplusplus)
