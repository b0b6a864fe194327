vorlix_test(app_logger_tests SOURCES logger_test.cpp LIBS vorlix_app_logger LABELS threads)
vorlix_test(app_ports_tests SOURCES ports_test.cpp LIBS vorlix_app_ports)
