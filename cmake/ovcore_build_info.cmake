# ovcore_build_info(<target> FEATURES <feature>...)
#
# Gives <target> a source, regenerated at every build (cmake/build_info.cmake
# writes it), that records what the build is: the library's name and
# version, the features of the list that are enabled (each one's option is
# OVCORE_FEATURE_<FEATURE>), the profile, the target triple and its CPU
# features, the compiler and the version-control facts. Each feature also
# becomes a public 0/1 macro OVCORE_FEATURE_<FEATURE>.
include(${CMAKE_CURRENT_LIST_DIR}/source_date_epoch.cmake)
ovpi_check_source_date_epoch()

function(ovcore_build_info target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "FEATURES")
  set(features_available ${ARG_FEATURES})
  set(features_enabled "")
  foreach(feature IN LISTS features_available)
    string(TOUPPER "OVCORE_FEATURE_${feature}" option_name)
    if(${option_name})
      list(APPEND features_enabled ${feature})
    endif()
  endforeach()
  list(JOIN features_enabled "," features_enabled_csv)
  list(JOIN features_available "," features_available_csv)

  string(TOLOWER "${CMAKE_BUILD_TYPE}" build_profile)
  set(opt_index_debug 0)
  set(opt_index_relwithdebinfo 2)
  set(opt_index_release 3)
  set(opt_index_minsizerel 4)
  set(opt_index ${opt_index_${build_profile}})
  if(opt_index STREQUAL "")
    set(opt_index 0)
  endif()

  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dumpmachine OUTPUT_VARIABLE target_triple
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  # The machine that runs the compiler: the target itself, unless the
  # compiler was configured to build for another (a cross compiler).
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -v ERROR_VARIABLE compiler_configuration)
  set(host_triple ${target_triple})
  if(compiler_configuration MATCHES "--host=([^ \n]+)")
    set(host_triple ${CMAKE_MATCH_1})
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -dM -E -x c++ /dev/null OUTPUT_VARIABLE predefined)
  set(cpu_features "")
  foreach(pair "__FXSR__=fxsr" "__SSE__=sse" "__SSE2__=sse2" "__SSE3__=sse3" "__SSSE3__=ssse3"
               "__SSE4_1__=sse4.1" "__SSE4_2__=sse4.2" "__POPCNT__=popcnt" "__AVX__=avx"
               "__AVX2__=avx2" "__FMA__=fma" "__BMI__=bmi1" "__BMI2__=bmi2"
               "__ARM_NEON=neon" "__ARM_FEATURE_CRC32=crc")
    string(REPLACE "=" ";" pair "${pair}")
    list(GET pair 0 macro)
    list(GET pair 1 feature)
    if(predefined MATCHES "#define ${macro} ")
      list(APPEND cpu_features ${feature})
    endif()
  endforeach()
  list(JOIN cpu_features "," cpu_features_csv)
  if(CMAKE_CXX_BYTE_ORDER STREQUAL "BIG_ENDIAN")
    set(endian_index 0)
  else()
    set(endian_index 1)
  endif()
  math(EXPR pointer_width "${CMAKE_SIZEOF_VOID_P} * 8")
  string(TOLOWER "${CMAKE_SYSTEM_NAME}" target_os)
  set(target_family unix)

  set(build_info_cpp ${CMAKE_CURRENT_BINARY_DIR}/build_info_block.cpp)
  add_custom_target(${target}_build_info
    COMMAND ${CMAKE_COMMAND}
      -DOUT=${build_info_cpp}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DPROFILE=${build_profile}
      -DOPT_INDEX=${opt_index}
      -DNAME=${target}
      -DVERSION=${PROJECT_VERSION}
      "-DAUTHORS=ovpi developers"
      -DLICENSE=${ovpi_license}
      -DFEATURES_ENABLED=${features_enabled_csv}
      -DFEATURES_AVAILABLE=${features_available_csv}
      -DTRIPLE=${target_triple}
      -DFAMILY=${target_family}
      -DOS=${target_os}
      -DARCH=${CMAKE_SYSTEM_PROCESSOR}
      -DPOINTER_WIDTH=${pointer_width}
      -DENDIAN_INDEX=${endian_index}
      -DCPU_FEATURES=${cpu_features_csv}
      -DCOMPILER_VERSION=${CMAKE_CXX_COMPILER_VERSION}
      -DCHANNEL_INDEX=3
      -DHOST_TRIPLE=${host_triple}
      -P ${PROJECT_SOURCE_DIR}/cmake/build_info.cmake
    BYPRODUCTS ${build_info_cpp}
    COMMENT "Recording build information"
    VERBATIM)
  target_sources(${target} PRIVATE ${build_info_cpp})
  add_dependencies(${target} ${target}_build_info)

  # Every feature is a 0/1 macro, so sources test them with #if and in
  # expressions alike.
  foreach(feature IN LISTS features_available)
    string(TOUPPER "${feature}" upper)
    if(feature IN_LIST features_enabled)
      target_compile_definitions(${target} PUBLIC OVCORE_FEATURE_${upper}=1)
    else()
      target_compile_definitions(${target} PUBLIC OVCORE_FEATURE_${upper}=0)
    endif()
  endforeach()
endfunction()
