# rtd_version_resource(TARGET DESCRIPTION): gives a Windows program the
# version resource that Explorer's Properties show (file and product
# version, product name, description).
function(rtd_version_resource target description)
  # "1.03" is 1,3,0,0: the resource takes numbers, not texts.
  math(EXPR major "${PROJECT_VERSION_MAJOR}+0")
  math(EXPR minor "${PROJECT_VERSION_MINOR}+0")
  set(RTD_VERSION_COMMAS "${major},${minor},0,0")
  set(RTD_FILE_DESCRIPTION "${description}")
  get_target_property(RTD_FILE_NAME ${target} OUTPUT_NAME)
  if(NOT RTD_FILE_NAME)
    set(RTD_FILE_NAME ${target})
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
