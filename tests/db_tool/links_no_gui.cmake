# Fails when TOOL needs a Qt GUI or widget library at run time (its whole dependency closure).
file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${TOOL}
     RESOLVED_DEPENDENCIES_VAR resolved UNRESOLVED_DEPENDENCIES_VAR unresolved)
set(gui ${resolved} ${unresolved})
list(FILTER gui INCLUDE REGEX "Qt6(Gui|Widgets|OpenGL|XcbQpa)")
if(gui)
  message(FATAL_ERROR "${TOOL} needs ${gui}")
endif()
list(FILTER resolved INCLUDE REGEX "Qt6")
message(STATUS "Qt libraries: ${resolved}")
