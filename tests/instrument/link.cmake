vorlix_test(instrument_link_tests
  SOURCES errors_test.cpp shell_test.cpp
  LIBS vorlix_instrument_link)
# Loopback sockets and pseudo-terminals; single-threaded, every wait bounded.
vorlix_test(instrument_link_transport_tests
  SOURCES transport_test.cpp serial_test.cpp
  LIBS vorlix_instrument_link)
