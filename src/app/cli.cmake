vorlix_library(vorlix_app_cli app SOURCES cli.cpp LIBS vorlix_config)
