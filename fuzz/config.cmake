vorlix_fuzzer(fuzz_config SOURCES config_load.cpp LIBS vorlix_config)
