# qv_folder(NAME DEPS ...): the static library qv_NAME from NAME/*.cpp, created
# only once the folder has sources. Dependencies that do not exist yet are
# skipped, so a folder can be added without touching the others.
set(QV_SOURCE_LIBS "" CACHE INTERNAL "")

function(qv_existing_targets out)
  set(found "")
  foreach(t IN LISTS ARGN)
    if(TARGET ${t})
      list(APPEND found ${t})
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(qv_folder name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_library(qv_${name} STATIC ${sources})
  target_include_directories(qv_${name} PUBLIC ${CMAKE_SOURCE_DIR})
  qv_existing_targets(deps ${ARG_DEPS})
  target_link_libraries(qv_${name} PUBLIC ${deps})
  set(QV_SOURCE_LIBS ${QV_SOURCE_LIBS} qv_${name} CACHE INTERNAL "")
endfunction()

# The mutually dependent folders link as one group: qv_group stands for all of
# them and the libraries below them (static libraries may depend on each other
# in a cycle).
function(qv_link_group)
  qv_existing_targets(members ${ARGN})
  add_library(qv_group INTERFACE)
  foreach(m IN LISTS members)
    foreach(other IN LISTS members)
      if(NOT m STREQUAL other)
        target_link_libraries(${m} PUBLIC ${other})
      endif()
    endforeach()
  endforeach()
  qv_existing_targets(lower qv_gui qv_catalog qv_files qv_core qv_platform)
  target_link_libraries(qv_group INTERFACE ${members} ${lower})
endfunction()
