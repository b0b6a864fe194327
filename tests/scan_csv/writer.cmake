vorlix_test(scan_csv_writer_test SOURCES writer_test.cpp LIBS vorlix_scan_csv_writer)
# A save in a process of its own, run under the fault shim: file systems
# without some features, and kills at chosen calls.
add_executable(scan_save_probe ${VORLIX_DIR}/save_probe.cpp ${CMAKE_SOURCE_DIR}/tests/base/fault_shim.cpp)
target_link_libraries(scan_save_probe PRIVATE vorlix_scan_csv_writer ${CMAKE_DL_LIBS})
target_include_directories(scan_save_probe PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
target_compile_definitions(scan_csv_writer_test PRIVATE VORLIX_SAVE_PROBE="$<TARGET_FILE:scan_save_probe>")
add_dependencies(scan_csv_writer_test scan_save_probe)
