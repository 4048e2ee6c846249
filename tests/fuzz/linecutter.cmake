# The line cutting of the parameter upload: nothing but the cutter itself.
qmss_fuzzer(linecutter ${CMAKE_SOURCE_DIR}/comm/Linecutter.cpp)
