# Pane operations of the table browser (alias connection, table opening, filtering,
# configuration files). Included by src/browser/CMakeLists.txt.
set(BROWSER_OPERATION_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/pane_config_file.h
  ${CMAKE_CURRENT_LIST_DIR}/pane_config_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/filter_expression.h
  ${CMAKE_CURRENT_LIST_DIR}/filter_expression.cpp
)
