# The frame reader of the framed channels behind a fake serial port (the
# harness derives it from the port base). The link's reply timer needs QtCore.
find_package(Qt6 REQUIRED COMPONENTS Core)
qmss_fuzzer(framereader ${CMAKE_SOURCE_DIR}/comm/Commframe.cpp ${CMAKE_SOURCE_DIR}/core/Replytimer.cpp
            ${CMAKE_SOURCE_DIR}/core/Hostcall.cpp
            ${CMAKE_SOURCE_DIR}/comm/Serialport.cpp ${CMAKE_SOURCE_DIR}/comm/Clock.cpp
            ${CMAKE_SOURCE_DIR}/comm/Wiretime.cpp)
target_link_libraries(fuzz_framereader PRIVATE Qt6::Core)
