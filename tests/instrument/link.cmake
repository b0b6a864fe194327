vorlix_test(instrument_link_tests
  SOURCES errors_test.cpp shell_test.cpp
  LIBS vorlix_instrument_link)
