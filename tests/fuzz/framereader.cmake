# The frame reader of the framed channels behind a fake serial port (the
# harness derives it from the port base), with the link's reply timer on
# the library's own event loop.
qmss_fuzzer(framereader ${CMAKE_SOURCE_DIR}/comm/Commframe.cpp ${CMAKE_SOURCE_DIR}/core/Replytimer.cpp
            ${CMAKE_SOURCE_DIR}/core/Hostcall.cpp ${CMAKE_SOURCE_DIR}/core/Hosttimer.cpp
            ${CMAKE_SOURCE_DIR}/core/Eventloop.cpp
            ${CMAKE_SOURCE_DIR}/comm/Serialport.cpp ${CMAKE_SOURCE_DIR}/comm/Clock.cpp
            ${CMAKE_SOURCE_DIR}/comm/Wiretime.cpp)
