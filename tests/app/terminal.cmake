# The take-over runs in a small program of its own under a pseudo-terminal,
# so the test process's terminal is never touched.
add_executable(terminal_probe ${VORLIX_DIR}/terminal_probe.cpp)
target_link_libraries(terminal_probe PRIVATE vorlix_app_terminal Threads::Threads)
target_include_directories(terminal_probe PRIVATE ${CMAKE_SOURCE_DIR}/src)

# The crash handlers must also restore from a worker thread: run under TSan too.
vorlix_test(app_terminal_tests SOURCES terminal_test.cpp LIBS vorlix_app_terminal LABELS threads)
# Signals sent from outside; the thread sanitizer holds such signals back
# at its own pace, so these run in the plain and address-sanitizer builds.
vorlix_test(app_terminal_signal_tests SOURCES terminal_signal_test.cpp LIBS vorlix_base)
foreach(t app_terminal_tests app_terminal_signal_tests)
  target_compile_definitions(${t} PRIVATE VORLIX_TERMINAL_PROBE="$<TARGET_FILE:terminal_probe>")
  add_dependencies(${t} terminal_probe)
endforeach()

# The event loop's end on an interrupt, with a test backend.
vorlix_test(app_terminal_interrupt_tests SOURCES terminal_interrupt_test.cpp LIBS vorlix_app_loop vorlix_config_core)
