# Fails when a source file of FOLDER includes a project header from a folder
# its layer may not use. Run by the build before each library (Layers.cmake).
# -DFOLDER=dir -DALLOWED=a,b,c -DSTAMP=file
#
# The library's folders (hex, files, core, comm) also include no Qt header,
# and no operating-system header outside the files that hold the system
# calls (the serial backends, the port-holder and access checks, the list
# of ports present, the system's error texts, the file calls), so that everything above the port seam builds for Linux and Windows
# alike. A new backend file goes into PlatformFiles.
cmake_minimum_required(VERSION 3.25)
set(LibraryFolders hex files core comm)
set(PlatformFiles
  hex/Cellarray.cpp hex/Hexfilelines.cpp
  files/Fileio.cpp files/Inipath.cpp
  comm/Termiosport.cpp comm/Termiosport.h comm/Linerate.cpp comm/Portholder.cpp comm/Portaccess.cpp
  comm/Win32port.cpp comm/Win32port.h comm/Portlist.cpp comm/Portopenfault.cpp)
set(SystemHeaders "termios|unistd|fcntl|poll|dirent|pwd|grp|signal|sys/|asm/|linux/|windows|winbase|setupapi")
string(REPLACE "," ";" ALLOWED "${ALLOWED}")
file(GLOB sources ${FOLDER}/*.cpp ${FOLDER}/*.h)
get_filename_component(name ${FOLDER} NAME)
set(wrong "")
foreach(source ${sources})
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[a-z]+/")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([a-z]+)/.*" "\\1" used "${line}")
    if(NOT used IN_LIST ALLOWED)
      get_filename_component(file ${source} NAME)
      string(APPEND wrong "\n  ${name}/${file}: ${line}")
    endif()
  endforeach()
  if(name IN_LIST LibraryFolders)
    get_filename_component(file ${source} NAME)
    file(STRINGS ${source} qt REGEX "^[ \t]*#[ \t]*include[ \t]+<Q")
    foreach(line ${qt})
      string(APPEND wrong "\n  ${name}/${file}: ${line} (the library is built on the standard library alone)")
    endforeach()
    if(NOT "${name}/${file}" IN_LIST PlatformFiles)
      file(STRINGS ${source} os REGEX "^[ \t]*#[ \t]*include[ \t]+<(${SystemHeaders})")
      foreach(line ${os})
        string(APPEND wrong "\n  ${name}/${file}: ${line} (system calls belong in a platform file: cmake/Checklayers.cmake)")
      endforeach()
    endif()
  endif()
endforeach()
if(wrong)
  string(REPLACE ";" ", " allowed "${ALLOWED}")
  message(FATAL_ERROR "${name}/ may use only ${allowed}; these includes go the wrong way:${wrong}")
endif()
file(WRITE ${STAMP} "")
