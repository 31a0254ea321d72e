# Flags and helpers shared by the deliverables.

# Product code runs inside the firmware: no C++ run-time library, no exceptions, no RTTI,
# nothing exported but the entry points.
set(ORVANE_PRODUCT_FLAGS -fno-exceptions -fno-rtti -fvisibility=hidden
    -fvisibility-inlines-hidden -fno-threadsafe-statics -fno-stack-protector
    -ffunction-sections -fdata-sections -D_FILE_OFFSET_BITS=64 -D_LARGEFILE64_SOURCE)
# Product code and the emulator are also held to stricter warnings (with the project's
# -Werror): shadowed names, implicit narrowing or sign changes, format strings that are not
# literals or do not match, and casts to a pointer of stricter alignment. GCC warns about
# the latter only for targets that fault on misaligned access unless told "strict"; MIPS is
# such a target, the PC is not. Tests and benchmarks have all of them but the conversions.
set(ORVANE_TEST_WARNINGS -Wshadow -Wformat=2 $<IF:$<CXX_COMPILER_ID:GNU>,-Wcast-align=strict,-Wcast-align>)
set(ORVANE_PRODUCT_WARNINGS ${ORVANE_TEST_WARNINGS} -Wconversion -Wsign-conversion)
list(APPEND ORVANE_PRODUCT_FLAGS ${ORVANE_PRODUCT_WARNINGS})
if(ORVANE_PVR)
  # A TAP links no libc at build time, and the firmware's libc has no fortified __*_chk
  # functions: they would stay undefined.
  list(APPEND ORVANE_PRODUCT_FLAGS -DORVANE_PVR=1 -fno-asynchronous-unwind-tables -U_FORTIFY_SOURCE)
endif()

# orvane_product_library(NAME SOURCES...) builds a static, position-independent library of
# product code.
function(orvane_product_library name)
  add_library(${name} STATIC ${ARGN})
  target_compile_options(${name} PRIVATE ${ORVANE_PRODUCT_FLAGS})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()

# orvane_tap(NAME OUTPUT_FILE SOURCES files... LIBRARIES libraries...) links a TAP: a shared
# object that exports only its entry points. It is made of the entry code, the TAP's own
# sources (its header at least) and the objects of the libraries that these need, nothing
# more. On the PVR it links against nothing but libgcc; the firmware supplies the TAP API,
# libc, libdl and libpthread when it loads the TAP.
function(orvane_tap name output)
  cmake_parse_arguments(TAP "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/platform/tap_entry.cpp ${TAP_SOURCES})
  target_compile_options(${name} PRIVATE ${ORVANE_PRODUCT_FLAGS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX "" OUTPUT_NAME ${output}
                        LINKER_LANGUAGE C)
  target_link_libraries(${name} PRIVATE ${TAP_LIBRARIES})
  # Functions and data nothing reaches from the entry points are dropped.
  target_link_options(${name} PRIVATE -Wl,--gc-sections)
  if(ORVANE_PVR)
    target_link_options(${name} PRIVATE -nostdlib -Wl,--build-id=none)
    target_link_libraries(${name} PRIVATE gcc)
    # The stack guard and assertion failure of the static libraries a TAP links.
    target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/platform/library_runtime.cpp)
  endif()
endfunction()

# orvane_glob_library(NAME DIRS... [EXCLUDE files...]) builds a product library from every
# .cpp of the folders but the excluded ones (paths from the source root), or an empty
# interface library while there are none.
function(orvane_glob_library name)
  cmake_parse_arguments(GLOB "" "" "EXCLUDE" ${ARGN})
  set(sources)
  foreach(dir ${GLOB_UNPARSED_ARGUMENTS})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  foreach(file ${GLOB_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_SOURCE_DIR}/${file})
  endforeach()
  if(sources)
    orvane_product_library(${name} ${sources})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR})
  endif()
endfunction()
