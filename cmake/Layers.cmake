# Which folders each folder may include from. The build checks it before the
# folder's library compiles, so that an include the wrong way (the library
# reaching into a host, or a simulator into the protocol code it is meant to
# check) fails the build instead of growing unnoticed.
function(qmss_layer target folder)
  string(REPLACE ";" "," allowed "${folder};${ARGN}")
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/layer-${folder}.stamp)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${CMAKE_SOURCE_DIR}/${folder} -DALLOWED=${allowed} -DSTAMP=${stamp}
            -P ${CMAKE_SOURCE_DIR}/cmake/Checklayers.cmake
    DEPENDS ${sources} ${CMAKE_SOURCE_DIR}/cmake/Checklayers.cmake
    VERBATIM
    COMMENT "Checking the includes of ${folder}/")
  add_custom_target(layer-${folder} DEPENDS ${stamp})
  add_dependencies(${target} layer-${folder})
endfunction()
