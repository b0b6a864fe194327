vorlix_test(app_logger_tests SOURCES logger_test.cpp LIBS vorlix_app_logger LABELS threads)
