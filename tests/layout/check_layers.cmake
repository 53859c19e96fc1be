# Fails when a source file includes a header of a folder its own folder does not build on.
# Each folder under src/ is one library; the table below is the order they stand in, each line
# naming what its folder may include (its own headers and those of the libraries under it).
#   cmake -DSOURCE_DIR=<project> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
set(layers
  "dataset:"
  "edi:dataset"
  "edi/tool:edi dataset"
  "engine:"
  "maintenance:engine"
  "compare:engine"
  "db_tool:compare maintenance engine"
  "shell:engine"
  "widgets:shell engine edi dataset"
  "window_tools:engine"
  "edi/widgets:edi dataset"
  "edi/widgets/designer:edi/widgets widgets shell engine edi dataset"
  "browser:compare maintenance widgets window_tools shell engine edi dataset"
  "app:browser compare maintenance widgets window_tools shell engine edi dataset"
)
set(folders "")
foreach(layer IN LISTS layers)
  string(REPLACE ":" ";" parts "${layer}")
  list(GET parts 0 folder)
  list(APPEND folders ${folder})
endforeach()

set(faults 0)
foreach(layer IN LISTS layers)
  string(REPLACE ":" ";" parts "${layer}")
  list(GET parts 0 folder)
  set(allowed "${folder}")
  list(LENGTH parts count)
  if(count GREATER 1)
    list(GET parts 1 below)
    string(REPLACE " " ";" below "${below}")
    list(APPEND allowed ${below})
  endif()
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/src/${folder}")
    continue()
  endif()
  file(GLOB sources "${SOURCE_DIR}/src/${folder}/*.h" "${SOURCE_DIR}/src/${folder}/*.cpp")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"[a-z_/]+\\.h\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([a-z_/]+\\.h)\".*" "\\1" header "${line}")
      if(NOT header MATCHES "/")
        continue() # a header next to the file (generated or local)
      endif()
      get_filename_component(target "${header}" DIRECTORY)
      if(NOT target IN_LIST folders)
        message(SEND_ERROR "${source}: includes ${header}, which is in no library folder")
        math(EXPR faults "${faults} + 1")
      elseif(NOT target IN_LIST allowed)
        message(SEND_ERROR "${source}: src/${folder} includes ${header} of src/${target}, which it does not build on")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults GREATER 0)
  message(FATAL_ERROR "${faults} include(s) across the layers")
endif()
message(STATUS "every include stays within its folder's layers")
