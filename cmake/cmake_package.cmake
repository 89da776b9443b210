# The CMake package, find_package(Korva): the imported programs Korva::korva
# and Korva::korva-dat, a version file, and korva_localize() and
# korva_check(). Installed into lib/cmake/Korva (cmake/ in a Windows zip, where
# CMake looks on Windows); this build tree holds a copy whose targets are the
# programs built here (CMAKE_PREFIX_PATH or Korva_DIR naming the build tree);
# and a project that builds korva within itself gets the same names and
# functions.
include(CMakePackageConfigHelpers)
if(WIN32)
  set(KORVA_INSTALL_CMAKEDIR cmake)
else()
  set(KORVA_INSTALL_CMAKEDIR lib/cmake/Korva)
endif()
set(package_files ${CMAKE_CURRENT_LIST_DIR}/KorvaConfig.cmake
                  ${CMAKE_CURRENT_LIST_DIR}/KorvaFunctions.cmake
                  ${CMAKE_CURRENT_LIST_DIR}/KorvaRun.cmake)
set(build_tree_dir ${PROJECT_BINARY_DIR}/lib/cmake/Korva)

# The programs run on the build machine, whatever the project using them
# builds for: no check of the pointer size.
write_basic_package_version_file(${build_tree_dir}/KorvaConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion
                                 ARCH_INDEPENDENT)
install(EXPORT KorvaTargets NAMESPACE Korva:: DESTINATION ${KORVA_INSTALL_CMAKEDIR})
install(FILES ${package_files} ${build_tree_dir}/KorvaConfigVersion.cmake
        DESTINATION ${KORVA_INSTALL_CMAKEDIR})

export(EXPORT KorvaTargets NAMESPACE Korva:: FILE ${build_tree_dir}/KorvaTargets.cmake)
foreach(file IN LISTS package_files)
  get_filename_component(name ${file} NAME)
  configure_file(${file} ${build_tree_dir}/${name} COPYONLY)
endforeach()

add_executable(Korva::korva ALIAS korva)
add_executable(Korva::korva-dat ALIAS korva-dat)
include(${CMAKE_CURRENT_LIST_DIR}/KorvaFunctions.cmake)
