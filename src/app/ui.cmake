# User-interface state (menus, editors, plot view) and the drawing of every
# screen into a buffer; neither needs a terminal.
vorlix_library(vorlix_app_ui_state app
               SOURCES ui_error.cpp number_input.cpp plot_view.cpp ui_state.cpp
                       screens/menu_lists.cpp
               LIBS vorlix_base vorlix_workers_shared vorlix_tui_core)
target_compile_definitions(vorlix_app_ui_state PRIVATE VORLIX_GIT_HASH="${VORLIX_GIT_HASH}")
vorlix_library(vorlix_app_screens app
               SOURCES screens/render.cpp screens/frame.cpp screens/menus.cpp screens/status.cpp
                       screens/plot.cpp screens/peak_marker.cpp
               LIBS vorlix_app_ui_state vorlix_workers_shared vorlix_tui_core)
