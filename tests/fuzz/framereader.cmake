# The frame reader of the framed channels behind a fake serial port (the
# harness defines the port calls). The link's reply timer needs QtCore.
find_package(Qt6 REQUIRED COMPONENTS Core)
qmss_fuzzer(framereader ${CMAKE_SOURCE_DIR}/comm/Commframe.cpp ${CMAKE_SOURCE_DIR}/core/Replytimer.cpp
            ${CMAKE_SOURCE_DIR}/core/Hostcall.cpp)
target_link_libraries(fuzz_framereader PRIVATE Qt6::Core)
