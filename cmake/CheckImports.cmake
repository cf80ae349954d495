# Checks that a Windows DLL or program imports only Windows' own DLLs (no C++ runtime, libgcc, winpthread, zlib
# or Cairo DLLs beside it). Run as a test:
#   cmake -DOBJDUMP=<objdump> -DFILE=<dll> -P cmake/CheckImports.cmake
cmake_policy(SET CMP0057 NEW)
set(system_dlls
  advapi32 bcrypt comctl32 comdlg32 crypt32 d3d11 dwmapi dxgi gdi32 gdiplus imm32 kernel32 msimg32 msvcrt ntdll
  ole32 oleaut32 opengl32 rpcrt4 setupapi shcore shell32 shlwapi user32 userenv uxtheme version winmm wininet
  winspool ws2_32)
execute_process(COMMAND ${OBJDUMP} -p ${FILE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} cannot read ${FILE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" entries "${dump}")
if(NOT entries)
  message(FATAL_ERROR "${FILE} imports nothing at all: not a program this check understands")
endif()
set(foreign "")
foreach(entry ${entries})
  string(REGEX REPLACE "DLL Name: *" "" name "${entry}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" lower)
  string(REGEX REPLACE "\\.dll$" "" stem "${lower}")
  message(STATUS "${FILE}: imports ${name}")
  if(NOT stem IN_LIST system_dlls)
    list(APPEND foreign ${name})
  endif()
endforeach()
if(foreign)
  message(FATAL_ERROR "${FILE} imports DLLs that are not part of Windows: ${foreign}")
endif()
