# quillow_add_all_subdirectories(): adds every direct sub-folder that has a CMakeLists.txt, in
# name order, so that parts can be added without editing a shared list.
function(quillow_add_all_subdirectories)
  file(GLOB children LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
