# Third-party libraries, all from Debian packages (scripts/setup.sh installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(fmt REQUIRED)
find_package(ZLIB REQUIRED)
find_package(BZip2 REQUIRED)
pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
pkg_check_modules(MINIZIP REQUIRED IMPORTED_TARGET minizip)
pkg_check_modules(XXHASH REQUIRED IMPORTED_TARGET libxxhash)
find_path(UTFCPP_INCLUDE_DIR utf8.h PATH_SUFFIXES utf8cpp REQUIRED)
find_path(SIMPLEINI_INCLUDE_DIR SimpleIni.h REQUIRED)
# Debian builds SimpleIni as a library: its header declares what the library defines.
pkg_check_modules(SIMPLEINI REQUIRED IMPORTED_TARGET simpleini)

# Debian's Python 3.11, found explicitly: another python3 may stand first on PATH.
set(Python3_EXECUTABLE /usr/bin/python3.11)
set(Python3_FIND_STRATEGY LOCATION)
set(Python3_FIND_VIRTUALENV STANDARD)
find_package(Python3 3.11 EXACT REQUIRED COMPONENTS Interpreter Development.Embed)
find_package(Boost 1.74 REQUIRED COMPONENTS python311)

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets)
find_package(X11 REQUIRED)

add_library(qv_thirdparty_core INTERFACE)
target_include_directories(qv_thirdparty_core INTERFACE ${UTFCPP_INCLUDE_DIR})
target_link_libraries(qv_thirdparty_core INTERFACE fmt::fmt PkgConfig::XXHASH ZLIB::ZLIB
                                                   Threads::Threads)
add_library(qv::thirdparty_core ALIAS qv_thirdparty_core)

add_library(qv_thirdparty_files INTERFACE)
target_include_directories(qv_thirdparty_files INTERFACE ${SIMPLEINI_INCLUDE_DIR})
target_link_libraries(qv_thirdparty_files INTERFACE PkgConfig::MINIZIP PkgConfig::SIMPLEINI ZLIB::ZLIB
                      BZip2::BZip2)
add_library(qv::thirdparty_files ALIAS qv_thirdparty_files)

add_library(qv_thirdparty_catalog INTERFACE)
target_link_libraries(qv_thirdparty_catalog INTERFACE PkgConfig::JSONCPP ZLIB::ZLIB)
add_library(qv::thirdparty_catalog ALIAS qv_thirdparty_catalog)

add_library(qv_thirdparty_python INTERFACE)
target_link_libraries(qv_thirdparty_python INTERFACE Python3::Python Boost::python311)
add_library(qv::thirdparty_python ALIAS qv_thirdparty_python)

add_library(qv_thirdparty_app INTERFACE)
target_link_libraries(qv_thirdparty_app INTERFACE Qt6::Core PkgConfig::JSONCPP)
add_library(qv::thirdparty_app ALIAS qv_thirdparty_app)

add_library(qv_thirdparty_gui INTERFACE)
target_link_libraries(qv_thirdparty_gui INTERFACE Qt6::Core Qt6::Gui Qt6::Widgets X11::X11)
add_library(qv::thirdparty_gui ALIAS qv_thirdparty_gui)
