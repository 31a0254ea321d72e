# LodePNG. On a PC: Debian's library (liblodepng-dev). For the PVR: compiled here from
# Debian's source package as C, without its C++ wrappers and its file functions, its memory
# coming from the TAP's heap through lodepng_malloc/lodepng_realloc/lodepng_free of
# platform/png_codec.cpp. ORVANE_LODEPNG_SOURCE names the folder with lodepng.cpp and
# lodepng.h; when they are missing, tools/fetch-lodepng-source.sh fetches them there.
if(ORVANE_PVR)
  set(ORVANE_LODEPNG_SOURCE ${CMAKE_BINARY_DIR}/lodepng-source CACHE PATH
      "folder with lodepng.cpp and lodepng.h from Debian's source package")
  if(NOT EXISTS ${ORVANE_LODEPNG_SOURCE}/lodepng.cpp OR NOT EXISTS ${ORVANE_LODEPNG_SOURCE}/lodepng.h)
    execute_process(COMMAND ${CMAKE_SOURCE_DIR}/tools/fetch-lodepng-source.sh ${ORVANE_LODEPNG_SOURCE}
                    RESULT_VARIABLE fetched)
    if(NOT fetched EQUAL 0)
      message(FATAL_ERROR "LodePNG: no source in ${ORVANE_LODEPNG_SOURCE}; tools/fetch-lodepng-source.sh failed")
    endif()
  endif()
  set(lodepng_dir ${CMAKE_BINARY_DIR}/lodepng)
  configure_file(${ORVANE_LODEPNG_SOURCE}/lodepng.cpp ${lodepng_dir}/lodepng.c COPYONLY)
  configure_file(${ORVANE_LODEPNG_SOURCE}/lodepng.h ${lodepng_dir}/lodepng.h COPYONLY)
  add_library(orvane_lodepng STATIC ${lodepng_dir}/lodepng.c)
  target_include_directories(orvane_lodepng SYSTEM PUBLIC ${lodepng_dir})
  target_compile_definitions(orvane_lodepng PUBLIC LODEPNG_NO_COMPILE_CPP LODEPNG_NO_COMPILE_ALLOCATORS
                             LODEPNG_NO_COMPILE_DISK ORVANE_LODEPNG_C=1)
  # Their code with their warnings; hidden like every symbol of a TAP but its entry points.
  target_compile_options(orvane_lodepng PRIVATE -std=c99 -w -fvisibility=hidden -fno-stack-protector)
else()
  find_path(ORVANE_LODEPNG_INCLUDE lodepng.h REQUIRED)
  find_library(ORVANE_LODEPNG_LIBRARY lodepng REQUIRED)
  add_library(orvane_lodepng INTERFACE)
  target_include_directories(orvane_lodepng INTERFACE ${ORVANE_LODEPNG_INCLUDE})
  target_link_libraries(orvane_lodepng INTERFACE ${ORVANE_LODEPNG_LIBRARY})
endif()
