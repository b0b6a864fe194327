vorlix_test(app_logger_tests SOURCES logger_test.cpp LIBS vorlix_app_logger LABELS threads)
vorlix_test(app_ports_tests SOURCES ports_test.cpp LIBS vorlix_app_ports)
vorlix_test(app_write_back_tests SOURCES write_back_test.cpp LIBS vorlix_app_write_back)
vorlix_test(app_error_tests SOURCES app_error_test.cpp LIBS vorlix_app_error)
