# Windows: the application icon built into the three executables, and the program folder
# as a Windows user unpacks it, made by `cmake --install` (scripts/make_windows_zip.sh):
# the programs, the data folders, Qt's platform and style plugins, and exactly the DLLs
# that all of these import, found by reading their import tables.
set(_programs tessivar layoutcraft scanpeek)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(_icon ${CMAKE_BINARY_DIR}/windows/tessivar.ico)
add_custom_command(OUTPUT ${_icon}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tools/png_to_ico.py
          ${PROJECT_SOURCE_DIR}/data/tessivar.png ${_icon}
  DEPENDS ${PROJECT_SOURCE_DIR}/tools/png_to_ico.py ${PROJECT_SOURCE_DIR}/data/tessivar.png
  COMMENT "Making the Windows icon from data/tessivar.png"
  VERBATIM)
add_custom_target(tessivar_windows_icon DEPENDS ${_icon})
set(_rc ${CMAKE_BINARY_DIR}/windows/tessivar.rc)
file(CONFIGURE OUTPUT ${_rc} CONTENT "1 ICON \"${_icon}\"\n")
set_source_files_properties(${_rc} TARGET_DIRECTORY ${_programs} PROPERTIES OBJECT_DEPENDS ${_icon})
foreach(program IN LISTS _programs)
  target_sources(${program} PRIVATE ${_rc})
  add_dependencies(${program} tessivar_windows_icon)
endforeach()

# The compiler's run-time DLLs (libstdc++, libgcc_s, winpthread) lie beside its libraries.
set(_dll_folders $<TARGET_FILE_DIR:Qt6::Core>)
foreach(dll libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE _dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(_folder "${_dll}" DIRECTORY)
  list(PREPEND _dll_folders ${_folder})
endforeach()

set(_plugins "$<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>;$<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>")
install(TARGETS ${_programs} RUNTIME DESTINATION .)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/ DESTINATION . PATTERN ".*" EXCLUDE)
install(DIRECTORY DESTINATION CONFIGS)
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
install(CODE "
  set(OBJDUMP \"${CMAKE_OBJDUMP}\")
  set(DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
  set(FOLDERS \"${_dll_folders}\")
  set(FILES \"$<TARGET_FILE:tessivar>;$<TARGET_FILE:layoutcraft>;$<TARGET_FILE:scanpeek>;${_plugins}\")
  include(\"${CMAKE_CURRENT_LIST_DIR}/windows_dlls.cmake\")
")
