vorlix_test(config_tests
  SOURCES messages_test.cpp accepted_test.cpp load_test.cpp serialize_test.cpp toml_bounds_test.cpp schema_test.cpp
  LIBS vorlix_config)
