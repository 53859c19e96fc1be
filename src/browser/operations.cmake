# Pane operations of the table browser (alias connection, table opening, filtering,
# configuration files). Included by src/browser/CMakeLists.txt.
set(BROWSER_OPERATION_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/pane_operations.h
  ${CMAKE_CURRENT_LIST_DIR}/pane_handlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/alias_connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_opening.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filtering.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_configuration.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_info_listing.h
  ${CMAKE_CURRENT_LIST_DIR}/table_info_listing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pane_config_file.h
  ${CMAKE_CURRENT_LIST_DIR}/pane_config_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filter_expression.h
  ${CMAKE_CURRENT_LIST_DIR}/filter_expression.cpp
)
