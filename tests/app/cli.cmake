vorlix_test(app_cli_tests SOURCES cli_test.cpp LIBS vorlix_app_cli)
