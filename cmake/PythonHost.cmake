# The program's Python side: the private start-up module is compiled into
# qv_python as zlib-compressed source, and pylib/ is copied to <build>/python,
# the install layout's python folder, so the program runs from the build tree.

# Boost.Python's instance deallocation looks at a holder after destroying it
# (dynamic_cast<void*>), which GCC's non-recoverable vptr check turns into a crash.
if(QV_SANITIZE)
  target_compile_options(qv_thirdparty_python INTERFACE -fno-sanitize=vptr)
endif()
# Boost 1.74's own headers include deprecated ones; keep the build output quiet.
target_compile_definitions(qv_thirdparty_python INTERFACE BOOST_BIND_GLOBAL_PLACEHOLDERS
                                                          BOOST_ALLOW_DEPRECATED_HEADERS)

if(NOT TARGET qv_python)
  return()
endif()

set(pylib ${CMAKE_SOURCE_DIR}/pylib)
set(private_module ${pylib}/embedded/quorvalent_private.py)
set(private_cpp ${CMAKE_BINARY_DIR}/generated/PrivateModuleSource.cpp)
add_custom_command(
  OUTPUT ${private_cpp}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/embed_source.py ${private_module}
          ${private_cpp} Python::detail privateModuleSource
  DEPENDS ${private_module} ${CMAKE_SOURCE_DIR}/cmake/embed_source.py
  VERBATIM)
target_sources(qv_python PRIVATE ${private_cpp})

file(GLOB_RECURSE pylib_files CONFIGURE_DEPENDS RELATIVE ${pylib} ${pylib}/*.py)
list(FILTER pylib_files EXCLUDE REGEX "^embedded/")
set(copies "")
foreach(file IN LISTS pylib_files)
  set(copy ${CMAKE_BINARY_DIR}/python/${file})
  add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy ${pylib}/${file} ${copy}
                     DEPENDS ${pylib}/${file} VERBATIM)
  list(APPEND copies ${copy})
endforeach()
add_custom_target(qv_pylib ALL COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/python
                  DEPENDS ${copies})
add_dependencies(qv_python qv_pylib)

# The system interpreter's folders, as built against: home, standard library,
# its extension modules, and Debian's dist-packages (optional third-party modules).
cmake_path(GET Python3_STDLIB PARENT_PATH python_lib)
cmake_path(GET python_lib PARENT_PATH python_home)
target_compile_definitions(qv_python PRIVATE
  QV_PYTHON_HOME="${python_home}"
  QV_PYTHON_STDLIB="${Python3_STDLIB}"
  QV_PYTHON_DYNLOAD="${Python3_STDARCH}/lib-dynload"
  QV_PYTHON_DIST_PACKAGES="${python_lib}/python3/dist-packages")

# Optimised bytecode of the standard library, of the program's python folder
# and of the optional modules, in <build>/pycache (Python::bytecodeFolder):
# the interpreter reads it instead of compiling each module at every start.
set(pycache ${CMAKE_BINARY_DIR}/pycache)
set(pycache_stamp ${pycache}/.complete)
add_custom_command(
  OUTPUT ${pycache_stamp}
  COMMAND ${Python3_EXECUTABLE} -I -S -O -X pycache_prefix=${pycache}
          ${CMAKE_SOURCE_DIR}/cmake/compile_bytecode.py ${pycache_stamp} ${Python3_STDLIB}
          ${python_lib}/python3/dist-packages ${CMAKE_BINARY_DIR}/python chardet natsort socks.py
          sockshandler.py
  DEPENDS ${copies} ${CMAKE_SOURCE_DIR}/cmake/compile_bytecode.py
  VERBATIM)
add_custom_target(qv_pycache ALL DEPENDS ${pycache_stamp})
add_dependencies(qv_python qv_pycache)
