# The Windows package build-win/QuorlEQ-<version>-win64.zip: both plug-in DLLs (without their debug information)
# and the install text. Part of the default build; included by the top CMakeLists.txt on Windows.
find_program(QUORL_ZIP zip REQUIRED)
set(package_name QuorlEQ-${PROJECT_VERSION}-win64)
set(package_dir ${CMAKE_BINARY_DIR}/package/${package_name})
set(package_zip ${CMAKE_BINARY_DIR}/${package_name}.zip)
configure_file(${PROJECT_SOURCE_DIR}/resources/windows/INSTALL.txt ${package_dir}/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
add_custom_command(OUTPUT ${package_zip}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${package_dir}
  COMMAND ${CMAKE_STRIP} --strip-debug -o ${package_dir}/QuorlEQ.clap $<TARGET_FILE:QuorlEQ_clap>
  COMMAND ${CMAKE_STRIP} --strip-debug -o ${package_dir}/QuorlEQ.dll $<TARGET_FILE:QuorlEQ_vst2>
  COMMAND ${CMAKE_COMMAND} -E rm -f ${package_zip}
  COMMAND ${QUORL_ZIP} -q -X -r ${package_zip} ${package_name}
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/package
  DEPENDS QuorlEQ_clap QuorlEQ_vst2 ${package_dir}/INSTALL.txt
  COMMENT "Packing ${package_name}.zip"
  VERBATIM)
add_custom_target(quorl_windows_package ALL DEPENDS ${package_zip})

# Both DLLs and the command-line host must carry everything but Windows itself.
if(QUORL_BUILD_TESTS)
  foreach(target QuorlEQ_clap QuorlEQ_vst2 quorl-host)
    add_test(NAME ImportsOnlyWindowsDlls.${target}
      COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DFILE=$<TARGET_FILE:${target}>
              -P ${PROJECT_SOURCE_DIR}/cmake/CheckImports.cmake)
  endforeach()
  add_test(NAME WindowsPackage.HoldsBothPluginsAndTheInstallText
    COMMAND ${CMAKE_COMMAND} -DZIP=${package_zip} -DFOLDER=${package_name}
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckPackage.cmake)
endif()
