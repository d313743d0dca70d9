# log4cpp ships a pkg-config file natively, but the cross build links the
# armhf runtime library without its -dev package (the two -dev packages
# cannot be installed side by side), so look for the library by name too.
find_path(LOG4CPP_INCLUDE_DIR log4cpp/Category.hh)
find_library(LOG4CPP_LIBRARY NAMES log4cpp liblog4cpp.so.5)
if(NOT LOG4CPP_INCLUDE_DIR OR NOT LOG4CPP_LIBRARY)
  message(FATAL_ERROR "log4cpp not found (apt-get install liblog4cpp5-dev)")
endif()
add_library(Log4cpp::Log4cpp UNKNOWN IMPORTED)
set_target_properties(Log4cpp::Log4cpp PROPERTIES
  IMPORTED_LOCATION "${LOG4CPP_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${LOG4CPP_INCLUDE_DIR}")
