# Flags and helpers shared by the deliverables.

# Product code runs inside the firmware: no C++ run-time library, no exceptions, no RTTI,
# nothing exported but the entry points.
set(ORVANE_PRODUCT_FLAGS -fno-exceptions -fno-rtti -fvisibility=hidden
    -fvisibility-inlines-hidden -fno-threadsafe-statics -fno-stack-protector
    -D_FILE_OFFSET_BITS=64 -D_LARGEFILE64_SOURCE)
if(ORVANE_PVR)
  list(APPEND ORVANE_PRODUCT_FLAGS -DORVANE_PVR=1 -fno-asynchronous-unwind-tables)
endif()

# orvane_product_library(NAME SOURCES...) builds a static, position-independent library of
# product code.
function(orvane_product_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${ORVANE_PRODUCT_FLAGS})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()

# orvane_tap(NAME OUTPUT_FILE LIBRARIES...) links a TAP: a shared object that exports only
# its entry points. On the PVR it links against nothing but libgcc; the firmware supplies
# the TAP API, libc, libdl and libpthread when it loads the TAP.
function(orvane_tap name output)
  add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/platform/tap_entry.cpp)
  target_compile_options(${name} PRIVATE ${ORVANE_PRODUCT_FLAGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX "" OUTPUT_NAME ${output}
                        LINKER_LANGUAGE C)
  target_link_libraries(${name} PRIVATE -Wl,--whole-archive ${ARGN} -Wl,--no-whole-archive)
  if(ORVANE_PVR)
    target_link_options(${name} PRIVATE -nostdlib -Wl,--build-id=none)
    target_link_libraries(${name} PRIVATE gcc)
  endif()
endfunction()

# orvane_glob_library(NAME DIRS...) builds a product library from every .cpp of the folders,
# or an empty interface library while a folder has none.
function(orvane_glob_library name)
  set(sources)
  foreach(dir ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  list(FILTER sources EXCLUDE REGEX "/tap_entry\\.cpp$")
  if(sources)
    orvane_product_library(${name} ${sources})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
  endif()
endfunction()
